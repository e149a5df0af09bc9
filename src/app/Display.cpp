#include "app/Display.h"

#include <unistd.h>

#include <QByteArray>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace velmar {

namespace {

// One message Qt gave while the platform started, to be passed on.
struct Held {
  QtMsgType type;
  const char* file;  // the context's strings are Qt's static ones
  int line;
  const char* function;
  const char* category;
  QString text;
};

std::vector<Held>* held = nullptr;

// Qt reports a platform that cannot start with qFatal, which would abort.
void holdWhileStarting(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type != QtFatalMsg) {
    held->push_back({type, context.file, context.line, context.function, context.category, text});
    return;
  }
  const std::string message = noDisplayMessage();
  [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, message.data(), message.size());
  ::_exit(kNoDisplayStatus);
}

std::string quoted(const char* name) {
  return std::string("«") + qgetenv(name).constData() + "»";
}

}  // namespace

std::string noDisplayMessage() {
  std::string why;
  if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    why = "no se pudo iniciar la plataforma gráfica " + quoted("QT_QPA_PLATFORM") +
          " (QT_QPA_PLATFORM)";
  } else if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
    why = "no se pudo conectar con la pantalla Wayland " + quoted("WAYLAND_DISPLAY");
  } else if (!qEnvironmentVariableIsEmpty("DISPLAY")) {
    why = "no se pudo conectar con la pantalla " + quoted("DISPLAY");
  } else {
    why = "no hay ninguna pantalla gráfica (DISPLAY y WAYLAND_DISPLAY no están definidas)";
  }
  return "velmar: no se puede abrir la ventana: " + why + "\n";
}

std::unique_ptr<QApplication> openDisplay(int& argc, char** argv) {
  std::vector<Held> messages;
  held = &messages;
  const QtMessageHandler before = qInstallMessageHandler(holdWhileStarting);
  auto app = std::make_unique<QApplication>(argc, argv);
  qInstallMessageHandler(before);
  held = nullptr;
  for (const Held& m : messages)
    qt_message_output(m.type, QMessageLogContext(m.file, m.line, m.function, m.category), m.text);
  return app;
}

}  // namespace velmar
