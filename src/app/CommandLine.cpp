#include "app/CommandLine.h"

#include "app/Identity.h"
#include "sources/DiscOpener.h"

std::string usageText() {
  return "Uso: velmar [UNIDAD | IMAGEN]\n"
         "Reproduce un CD de audio.\n"
         "\n"
         "Sin argumentos reproduce el disco de la unidad de CD del equipo.\n"
         "UNIDAD es la ruta de una unidad de CD (por ejemplo /dev/cdrom);\n"
         "IMAGEN, una imagen o una copia de un disco: una hoja .cue con sus archivos\n"
         "(.bin, .wav, .flac...), un .bin o .img con su hoja .cue al lado, un .toc de\n"
         "cdrdao o un .nrg.\n"
         "\n"
         "  --help       muestra esta ayuda y termina\n"
         "  --version    muestra la versión y termina\n";
}

namespace {
CommandLine error(std::string message) {
  CommandLine c;
  c.action = CommandLine::Action::Error;
  c.message = "velmar: " + std::move(message) + "\nPruebe «velmar --help» para más información.\n";
  c.exitStatus = 2;
  return c;
}
}  // namespace

CommandLine parseCommandLine(const std::vector<std::string>& args) {
  CommandLine c;
  if (args.empty()) return c;
  if (args.size() > 1)
    return error("sobra el argumento «" + args[1] + "»: solo se admite una unidad o una imagen");
  const std::string& a = args.front();
  if (a == "--help" || a == "-h") {
    c.action = CommandLine::Action::Help;
    c.message = usageText();
    return c;
  }
  if (a == "--version") {
    c.action = CommandLine::Action::Version;
    c.message = "Velmar " + velmar::versionText().toStdString() + "\n";
    return c;
  }
  if (a.size() > 1 && a[0] == '-') return error("opción desconocida «" + a + "»");
  if (a.empty()) return error("la ruta de la unidad o imagen está vacía");
  if (std::string why = discPathProblem(a); !why.empty())
    return error("no se puede abrir «" + a + "»: " + why);
  c.disc = a;
  return c;
}
