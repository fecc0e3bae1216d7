#include "platform/xml/XmlEngine.h"

#include <mutex>

#include <libxml/parser.h>
#include <libxslt/xsltutils.h>

#include "platform/xml/EntityRefusal.h"
#include "platform/xml/ErrorCollector.h"
#include "platform/xml/TransformSandbox.h"

namespace vedris::xml::detail {

void initialiseEngine() {
    static std::once_flag once;
    std::call_once(once, [] {
        // libxml2 wants its allocator set before it allocates anything.
        installCountingAllocator();
        xmlInitParser();
        xmlSetExternalEntityLoader(refuseExternalEntity);
        xmlSetGenericErrorFunc(nullptr, ignoreGenericError);
        xsltSetGenericErrorFunc(nullptr, ignoreGenericError);
        installInstructionHook();
    });
}

} // namespace vedris::xml::detail
