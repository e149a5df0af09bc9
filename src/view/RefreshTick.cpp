#include <QCoreApplication>

#include "app/frmVelmar.h"

void frmVelmar::Timer1_Timer() {
  QCoreApplication::processEvents();
}
