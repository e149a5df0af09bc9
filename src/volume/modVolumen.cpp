#include "volume/modVolumen.h"

namespace modVolumen {
void Startup(QWidget*) {}
}  // namespace modVolumen

#include "app/frmVelmar.h"

void frmVelmar::wireVolume() {}
