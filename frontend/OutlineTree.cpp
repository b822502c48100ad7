#include "OutlineTree.h"
