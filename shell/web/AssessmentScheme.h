#pragma once
// The browser's side of the assessments folder: the scheme handler that answers every
// request of vedris://assessments/ from the folder (platform/desktop/AssessmentFolder.h maps the
// addresses).
#include "platform/desktop/AssessmentFolder.h"

typedef struct _WebKitWebContext WebKitWebContext;

namespace vedris::web {

// The errors of the browser bridge: a path outside the folder, a script that failed.
using Error = AddressError;
using vedris::AssessmentFolder;
using vedris::SchemeHost;
using vedris::SchemeName;

// Registers the scheme on a web context: requests are answered from the folder with
// their MIME type; anything else is answered 404 with a short Ukrainian page. The folder
// object is shared with the context for its lifetime.
void RegisterAssessmentScheme(WebKitWebContext* context, const AssessmentFolder& folder);

} // namespace vedris::web
