#include "form1.h"

void Form1::Form_Load() {}
