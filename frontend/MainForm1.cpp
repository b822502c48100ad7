#include "MainForm1.h"
