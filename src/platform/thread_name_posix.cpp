#include <pthread.h>

#include <string>

#include "platform/text.h"
#include "platform/thread_name.h"

namespace dv {

void SetCurrentThreadName(std::u16string_view name) {
    // Linux keeps at most 15 bytes of a thread's name.
    std::string utf8 = ToUtf8(name).substr(0, 15);
    pthread_setname_np(pthread_self(), utf8.c_str());
}

}  // namespace dv
