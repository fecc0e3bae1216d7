#pragma once
// Inside the xml module only: the one place where libxml2 and libxslt are set up for the
// whole process. Everything it sets is process-wide and stays for the life of the process:
// - libxml2's allocator is replaced by a counting one (TransformSandbox.h), for every
//   allocation either library makes in any thread, this program's or a library's;
// - the external entity loader refuses every resource (EntityRefusal.h), for every parser;
// - the generic error output of both libraries is discarded (ErrorCollector.h takes the
//   messages while a call runs);
// - libxslt's debugger hooks are set (TransformSandbox.h); they act only on the
//   transformation contexts that transform() marks.
// Another library in the process that sets any of these after the first document breaks
// the limits and the refusals: nothing else here uses libxml2.

namespace vedris::xml::detail {

// Runs the setup once, before the engine's first allocation; every entry point that makes
// or reads a document calls it, and later calls cost an atomic load.
void initialiseEngine();

} // namespace vedris::xml::detail
