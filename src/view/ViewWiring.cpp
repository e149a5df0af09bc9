#include "app/frmVelmar.h"

void frmVelmar::wireView() {}
