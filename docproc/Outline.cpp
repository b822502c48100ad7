#include "LibFunc.h"
