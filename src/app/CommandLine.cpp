#include "app/CommandLine.h"

#include <cctype>
#include <optional>

#include "app/Identity.h"
#include "sources/DiscOpener.h"
#include "sources/SystemError.h"

std::string usageText() {
  return "Uso: velmar [UNIDAD | IMAGEN | URI]\n"
         "Reproduce un CD de audio.\n"
         "\n"
         "Sin argumentos reproduce el disco de la unidad de CD del equipo.\n"
         "UNIDAD es la ruta de una unidad de CD (por ejemplo /dev/cdrom);\n"
         "IMAGEN, una imagen o una copia de un disco: una hoja .cue con sus archivos\n"
         "(.bin, .wav, .flac...), un .bin o .img con su hoja .cue al lado, un .toc de\n"
         "cdrdao o un .nrg.\n"
         "URI, la dirección de una unidad o de una imagen: cdda://sr1 o cdda:///dev/sr1\n"
         "para la unidad /dev/sr1, cdda:// para la unidad del equipo,\n"
         "file:///ruta/disco.cue para una imagen.\n"
         "\n"
         "Si Velmar ya está abierto, lo trae al frente y le pasa el disco.\n"
         "\n"
         "  --help       muestra esta ayuda y termina\n"
         "  --version    muestra la versión y termina\n";
}

CommandLine commandLineError(std::string message) {
  CommandLine c;
  c.action = CommandLine::Action::Error;
  c.message = "velmar: " + std::move(message) + "\nPruebe «velmar --help» para más información.\n";
  c.exitStatus = 2;
  return c;
}

namespace {

// The scheme of `arg` when it reads "scheme://...", lower-cased.
std::optional<std::string> uriScheme(const std::string& arg) {
  const size_t colon = arg.find("://");
  if (colon == std::string::npos || colon == 0) return std::nullopt;
  std::string scheme;
  for (size_t i = 0; i < colon; ++i) {
    const auto c = static_cast<unsigned char>(arg[i]);
    const bool allowed =
        std::isalpha(c) || (i > 0 && (std::isdigit(c) || c == '+' || c == '-' || c == '.'));
    if (!allowed) return std::nullopt;
    scheme += static_cast<char>(std::tolower(c));
  }
  return scheme;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Decodes %XX escapes; nullopt on a malformed one or an encoded NUL.
std::optional<std::string> percentDecoded(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '%') {
      out += s[i];
      continue;
    }
    const int hi = i + 1 < s.size() ? hexDigit(s[i + 1]) : -1;
    const int lo = i + 2 < s.size() ? hexDigit(s[i + 2]) : -1;
    if (hi < 0 || lo < 0 || (hi == 0 && lo == 0)) return std::nullopt;
    out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return out;
}
}  // namespace

DiscArgument discFromArgument(const std::string& arg) {
  DiscArgument d;
  const std::optional<std::string> scheme = uriScheme(arg);
  if (!scheme) {
    d.disc = arg;
    return d;
  }
  auto refuse = [&](std::string why) {
    d.ok = false;
    d.problem = std::move(why);
    return d;
  };
  // Authority and path, as written after "scheme://".
  const std::string rest = arg.substr(scheme->size() + 3);
  const size_t slash = rest.find('/');
  const std::optional<std::string> host = percentDecoded(rest.substr(0, slash));
  const std::optional<std::string> path =
      percentDecoded(slash == std::string::npos ? std::string() : rest.substr(slash));
  if (!host || !path) return refuse("la dirección tiene una secuencia «%» mal formada");

  if (*scheme == "file") {
    if (!host->empty() && *host != "localhost")
      return refuse("el archivo está en otro equipo (" + quoted(*host) + ")");
    if (path->empty()) return refuse("la dirección no nombra ningún archivo");
    d.disc = *path;
    return d;
  }
  if (*scheme == "cdda") {
    // cdda://sr1 (and anything below it, such as a track) names the drive;
    // cdda:///dev/sr1 names it by its path.
    if (!host->empty()) {
      d.disc = "/dev/" + *host;
    } else if (*path != "/") {
      d.disc = *path;
    }
    return d;
  }
  return refuse("no se admiten direcciones " + quoted(*scheme + "://") +
                "; solo cdda:// y file://");
}

std::string cannotOpenText(const std::string& arg, const std::string& why) {
  return "no se puede abrir " + quoted(arg) + ": " + why;
}

std::string discNameProblem(const std::string& arg, std::string* disc) {
  if (arg.empty()) return "la ruta de la unidad o imagen está vacía";
  const DiscArgument named = discFromArgument(arg);
  if (!named.ok) return cannotOpenText(arg, named.problem);
  if (disc) *disc = named.disc;
  return {};
}

std::string discArgumentProblem(const std::string& arg, std::string* disc) {
  std::string named;
  if (std::string why = discNameProblem(arg, &named); !why.empty()) return why;
  if (!named.empty()) {
    if (std::string why = discPathProblem(named); !why.empty()) return cannotOpenText(arg, why);
  }
  if (disc) *disc = named;
  return {};
}

CommandLine parseCommandLine(const std::vector<std::string>& args) {
  CommandLine c;
  if (args.empty()) return c;
  if (args.size() > 1)
    return commandLineError("sobra el argumento «" + args[1] +
                            "»: solo se admite una unidad o una imagen");
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
  if (a.size() > 1 && a[0] == '-') return commandLineError("opción desconocida «" + a + "»");
  if (std::string why = discArgumentProblem(a, &c.disc); !why.empty()) return commandLineError(why);
  c.argument = a;
  return c;
}
