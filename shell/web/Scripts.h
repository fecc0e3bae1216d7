#pragma once
// The scripts the program runs in its pages: the .js files of web/scripts/, compiled into the
// program as resources.
#include <initializer_list>
#include <string>

namespace vedris::web {

// The text of the named scripts ("snapshot.js", ...), joined in the order given. A name that
// is not compiled in is a programming error and aborts.
std::string Script(std::initializer_list<const char*> names);

} // namespace vedris::web
