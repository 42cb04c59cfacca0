#pragma once

#include <QIcon>

// The program's icon, drawn at run time so no image file has to be found.
QIcon AppIcon();
