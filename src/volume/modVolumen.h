#pragma once

class QWidget;

namespace modVolumen {
// The volume start-up run at load; `parent` is the window being loaded.
void Startup(QWidget* parent);
}  // namespace modVolumen
