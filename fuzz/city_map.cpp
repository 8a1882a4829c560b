#include "FuzzCheck.h"
#include "model/CityInfo.h"

// The city table the user edited must come back unchanged after it is saved.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace clipferry;
    if (const auto map = decodeCityMap(fuzz::bytesOf(data, size))) {
        const auto again = decodeCityMap(encodeCityMap(*map));
        fuzz::check(again && *again == *map, "CityMap survives a save");
    }
    return 0;
}
