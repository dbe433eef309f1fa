#include "rig.h"
