#include "FuzzCheck.h"
#include "service/ServiceTransport.h"

// Whatever the header says, the wait it asks for is between nothing and a day.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace clipferry;
    if (const auto wait = parseRetryAfter(fuzz::bytesOf(data, size))) {
        fuzz::check(wait->count() >= 0 && *wait <= std::chrono::hours(24),
                    "Retry-After wait within a day");
    }
    return 0;
}
