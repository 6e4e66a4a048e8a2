#include "form1.h"

void Form1::MSComm1_OnComm() {}
void Form1::out1(quint8) {}
void Form1::out2(quint8) {}
void Form1::out3(quint8) {}
void Form1::out4(quint8) {}
