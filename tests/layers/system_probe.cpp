#include "ui/main/frmmain.h"
