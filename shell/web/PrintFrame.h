#pragma once
// Printing from the browser with the page setup of the per-user store.
//
// A page prints through window.print(). In the top page WebKit raises the view's "print"
// signal; our handler puts the store's margins on the print operation and shows the print
// dialog. Inside a frame WebKit would print the whole top page (the frameset with its
// menu), so there window.print() is replaced: the frame hands over its address and the
// snapshot of its form controls, the page is loaded again into a hidden view, the
// controls are set as they were on screen, and that view is printed the same way.
#include <functional>
#include <string>

#include "printing/uPrinterSettings.h"

typedef struct _GtkWindow GtkWindow;
typedef struct _WebKitWebView WebKitWebView;
typedef struct _WebKitPrintOperation WebKitPrintOperation;

namespace vedris::web {

// Hooks printing into view; call it once, before the view loads its first page. Creates the
// page-setup store with its defaults when the user has none yet (fs::WriteError when that
// fails), answers the view's "print" signal, and makes window.print() in any frame below
// the top print that frame's own page.
void AttachPagePrinting(WebKitWebView* view);

// Puts the margins of PageSetup, in inches, on the page setup of operation (a fresh one in
// the default paper size when the operation has none yet). Header and footer are not
// printed by WebKit and are left out.
void ApplyPageSetupMargins(WebKitPrintOperation* operation, const TPrinterSettings& PageSetup);

// What runs a prepared operation in place of the print dialog; tests print to a file with
// it. The runner may keep operation beyond the call by taking a reference. An empty runner
// restores the dialog.
using PrintRunner = std::function<void(WebKitPrintOperation* operation, GtkWindow* parent)>;
void SetPrintRunner(PrintRunner runner);

// Frames being printed through a hidden view at this moment, for tests.
int PendingFramePrints();

} // namespace vedris::web
