#include "FuzzCheck.h"
#include "service/AssetListing.h"

// Whatever a page names as the next one, the request that carries the credential next stays
// on the first page's scheme, host and port.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace clipferry;
    static const QUrl first(QStringLiteral("https://api.example.test/video/v1/assets?limit=100"));
    static const QUrl current(first.toString() + QStringLiteral("&page=2"));
    const auto page = decodeMuxAssetListResponse(fuzz::bytesOf(data, size));
    if (!page)
        return 0;
    const auto next = nextAssetPageLocation(first, current, *page);
    if (next && *next) {
        const QUrl& url = **next;
        fuzz::check(url.isValid() && url.scheme() == first.scheme() && url.host() == first.host() &&
                        url.port(443) == 443,
                    "the next page is on the first page's origin");
    }
    return 0;
}
