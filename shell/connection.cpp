#include "form1.h"

void Form1::Command7_Click() {}
void Form1::Combo1_Click() {}
void Form1::Timer2_Timer() {}
void Form1::onLinkLost() {}
