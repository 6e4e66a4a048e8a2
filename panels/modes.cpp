#include "form1.h"

void Form1::Option1_Click(int) {}
void Form1::Option2_Click(int) {}
