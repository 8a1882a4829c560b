#include "FuzzCheck.h"
#include "service/MuxRecords.h"
#include "service/ServiceError.h"

// Every reply body of the video service goes through one of these readers; whatever the
// body, each returns a value or an error, and a decoded asset's display texts exist.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace clipferry;
    const QByteArray body = fuzz::bytesOf(data, size);
    const auto refused = checkHTTPStatus(500, body);
    fuzz::check(!refused && refused.error().message.startsWith(QLatin1String("HTTP 500: ")),
                "a refusal names its status whatever the body");
    (void)decodeUploadResponse(body);
    if (const auto status = decodeUploadStatusResponse(body); !status)
        fuzz::check(!status.error().message.isEmpty(), "a failed decode says why");
    (void)decodeAssetResponse(body);
    if (const auto page = decodeMuxAssetListResponse(body)) {
        for (const MuxAsset& asset : page->data) {
            fuzz::check(!asset.resolutionText().isEmpty(), "resolution text never empty");
            fuzz::check(!asset.durationText().isEmpty(), "duration text never empty");
            (void)asset.firstPlaybackID();
        }
    }
    return 0;
}
