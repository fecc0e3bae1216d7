// The binders' round trip: the input picks a layout of controls for the responses of one
// item (lists, boxes under one name, fields) and what the candidate left in them; loading
// what that page stored into a fresh page and saving it again must store the same.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "BinderRoundTrip.h"
#include "platform/fs/AtomicFile.h"
#include "settings/uRegistry.h"

namespace {

// An installation in a temporary folder, made once: the settings, the stylesheet, the
// assessment and its results file.
struct Installation {
    std::string root, assessment, results;
    Installation() {
        char folder[] = "/tmp/vedris-binder-fuzz-XXXXXX";
        if (!mkdtemp(folder))
            std::abort();
        root = std::string(folder) + "/";
        std::filesystem::create_directories(root + "Assessments");
        std::filesystem::create_directories(root + "Results");
        vedris::fs::writeFileAtomically(root + "vedris.ini", "[General]\n");
        vedris::fs::copyFileAtomically(VEDRIS_TEST_STYLESHEET,
                                       root + "Assessments/ims_qtiasi2res.xslt");
        assessment = root + "Assessments/a.xml";
        results = root + "Results/results.xml";
        vedris::fs::writeFileAtomically(assessment, vedris::roundtrip::AssessmentXml);
        vedris::fs::writeFileAtomically(results, "<?xml version=\"1.0\"?>\n<qti_result_report/>\n");
        vedris::CreateClientRegistry(root + "vedris.ini");
    }
    ~Installation() {
        vedris::DestroyClientRegistry();
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const Installation installation;
    size_t at = 0;
    auto draw = [&](unsigned n) { return at < size ? data[at++] % n : 0u; };
    const vedris::roundtrip::Layout layout = vedris::roundtrip::MakeLayout(draw);
    const std::string broken =
        vedris::roundtrip::RoundTrip(installation.assessment, installation.results, layout);
    if (!broken.empty()) {
        std::fprintf(stderr, "round trip: %s\n", broken.c_str());
        std::abort();
    }
    return 0;
}
