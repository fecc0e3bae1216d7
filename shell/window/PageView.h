#pragma once
// How the page is shown in the main window: its zoom (kept for the user across runs) and
// the find bar over it.
#include <string>

typedef struct _GActionMap GActionMap;
typedef struct _GtkBuilder GtkBuilder;
typedef struct _GtkSearchBar GtkSearchBar;
typedef struct _GtkEditable GtkEditable;
typedef struct _GtkWidget GtkWidget;
typedef struct _WebKitWebView WebKitWebView;

namespace vedris::window {

// The user's view settings: view.ini beside the page setup store, in the user's
// configuration folder. Empty when no home folder can be found.
std::string ViewSettingsPath();

class PageView {
public:
    // view shows the pages; builder holds the window's find bar (FFindBar, FFindEntry).
    // The zoom the user chose last applies, else startZoom (the installation's setting, in
    // percent, as written), else 100 %. spellCheck turns Ukrainian spell-checking on.
    PageView(WebKitWebView* view, GtkBuilder* builder, const std::string& startZoom,
             bool spellCheck);
    PageView(const PageView&) = delete;
    PageView& operator=(const PageView&) = delete;

    // zoomIn, zoomOut, zoomReset and find, for the window's "win." actions.
    void addActions(GActionMap* actions);

    // The zoom the view reports, in percent.
    int zoomLevel() const;
    // Sets the zoom and keeps it for the user.
    void setZoomLevel(int percent);
    bool findBarShown() const;
    GtkWidget* findEntry() const;

private:
    struct Callbacks;
    void addScrollZoom();
    void connectFindBar();
    void openFindBar();
    void find(bool backwards);

    WebKitWebView* view_;
    GtkSearchBar* findBar_;
    GtkEditable* findEntry_;
    double scrolled_ = 0; // Ctrl+scroll not yet turned into a zoom step
};

} // namespace vedris::window
