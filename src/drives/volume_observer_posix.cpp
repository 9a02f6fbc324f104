// Away from Windows no broadcasts arrive; the observer only delivers what it is handed.
#include "drives/volume_observer.h"

#include <utility>

namespace dv {

TVolumeObserver::TVolumeObserver(TUncaughtErrorHandler onUncaughtError)
    : onUncaughtError_(std::move(onUncaughtError)) {}

TVolumeObserver::~TVolumeObserver() = default;

bool TVolumeObserver::Initialize() {
    return true;
}

}  // namespace dv
