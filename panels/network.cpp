#include "form1.h"

void Form1::Option10_Click() {}
void Form1::Option11_Click() {}
void Form1::Command2_Click() {}
