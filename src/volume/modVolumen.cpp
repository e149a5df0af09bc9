#include "volume/modVolumen.h"

namespace modVolumen {
void Startup(QWidget*) {}
}  // namespace modVolumen
