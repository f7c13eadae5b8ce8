#include "output/codesite_output.h"

namespace norvale {

std::unique_ptr<IViewerOutput> MakeCodeSiteViewer() { return std::make_unique<TNoViewer>(); }

}  // namespace norvale
