#include "sources/SystemError.h"

#include <cctype>
#include <cerrno>

std::string systemErrorText(int err) {
  switch (err) {
    case ENOENT:
      return "no existe";
    case EACCES:
    case EPERM:
      return "permiso denegado";
    case ELOOP:
      return "demasiados enlaces simbólicos encadenados";
    case ENAMETOOLONG:
      return "el nombre es demasiado largo";
    case ENOTDIR:
      return "una parte de la ruta no es una carpeta";
    case EISDIR:
      return "es una carpeta";
    case EIO:
      return "error de entrada/salida";
    case ENXIO:
    case ENODEV:
      return "el dispositivo no existe o no está disponible";
    case ENOMEDIUM:
      return "no hay ningún disco en la unidad";
    case EBUSY:
      return "el dispositivo está ocupado";
    case ENOMEM:
      return "no queda memoria";
    case EMFILE:
    case ENFILE:
      return "hay demasiados archivos abiertos";
    case EROFS:
      return "el sistema de archivos es de solo lectura";
    case EAGAIN:
      return "el recurso no está disponible ahora";
    case EINVAL:
      return "argumento no válido";
    case EFBIG:
    case EOVERFLOW:
      return "el archivo es demasiado grande";
    default:
      return "error del sistema " + std::to_string(err);
  }
}

std::string quoted(const std::string& s) {
  return "«" + s + "»";
}

bool hasExtension(const std::string& path, const std::string& extension) {
  if (path.size() < extension.size()) return false;
  const size_t from = path.size() - extension.size();
  for (size_t i = 0; i < extension.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(path[from + i])) != extension[i]) return false;
  return true;
}
