#include "form1.h"

void Form1::Option3_Click(int) {}
void Form1::Option4_Click(int) {}
void Form1::Option5_Click(int) {}
void Form1::Option6_Click(int) {}
void Form1::Option7_Click(int) {}
void Form1::Option9_Click(int) {}
void Form1::Command8_Click(int) {}
