#include "Converter.h"
