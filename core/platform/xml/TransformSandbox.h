#pragma once
// Inside the xml module only: the limits that stop a running transformation (the
// transformation itself, transform(), is declared in XmlDocument.h and defined beside them).
//
// Process-wide, installed once by initialiseEngine():
// - libxml2's allocator becomes a counting one, for every allocation either library makes in
//   any thread: the bytes the engine holds are the only measure of a stylesheet whose
//   strings grow without making nodes. It calls the C library's malloc, realloc and free, so
//   a block allocated before it was installed is still freed correctly. Each thread counts
//   its own (what it allocated less what it freed): a transformation runs on one thread, and
//   threads parsing side by side do not contend for one counter at every allocation.
// - libxslt's debugger hooks become the per-instruction check of the limits. libxslt calls
//   them only for contexts whose debugStatus is set, which transform() does for its own, so
//   any other transformation context would run unchecked, not be stopped.
// Per thread, for the length of one transform(): the node registration hook counts the nodes
// made, and the check reads (and stops) the running context through xsltInternals.h fields.

namespace vedris::xml::detail {

void installCountingAllocator();
void installInstructionHook();

} // namespace vedris::xml::detail
