#include "app/frmVelmar.h"

void frmVelmar::styleControls() {}
