#include "shell/TabPage.h"
