#include "form1.h"

void Form1::Command1_Click() {}
void Form1::Command3_Click() {}
void Form1::Command4_Click() {}
void Form1::Command5_Click() {}
void Form1::Command6_Click() {}
void Form1::Command9_Click() {}
