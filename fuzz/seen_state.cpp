#include "FuzzCheck.h"
#include "model/SeenState.h"

// A seen-state file that reads must write back to a file that reads the same: otherwise
// the next start would lose what the user has seen.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace clipferry;
    const QByteArray bytes = fuzz::bytesOf(data, size);
    if (const auto mux = decodeMuxState(bytes)) {
        const auto again = decodeMuxState(encodeMuxState(*mux));
        fuzz::check(again && *again == *mux, "MuxState survives a save");
    }
    if (const auto local = decodeLocalVideoState(bytes)) {
        const auto again = decodeLocalVideoState(encodeLocalVideoState(*local));
        fuzz::check(again && *again == *local, "LocalVideoState survives a save");
    }
    return 0;
}
