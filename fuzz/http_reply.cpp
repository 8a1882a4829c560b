#include "FuzzCheck.h"
#include "service/HttpReplyParser.h"

// A storage host's reply, whatever its bytes: it never holds more than the caps, a whole
// reply has a final status, and the pieces the socket happens to deliver change nothing.
// The first byte sets the piece size; small caps keep them within the fuzzer's reach.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace clipferry;
    if (size == 0)
        return 0;
    const QByteArray reply = fuzz::bytesOf(data + 1, size - 1);
    const ReplyLimits limits{.maxHeadBytes = 512, .maxBodyBytes = 256};
    HttpReplyParser whole(false, limits);
    HttpReplyParser pieces(false, limits);
    whole.feed(reply);
    const qsizetype step = data[0] % 16 + 1;
    for (qsizetype at = 0; at < reply.size(); at += step)
        pieces.feed(reply.mid(at, step));
    const auto state = whole.closed();

    fuzz::check(pieces.closed() == state, "the same outcome in pieces");
    // A failed reply's body is whatever had arrived: not compared.
    fuzz::check(pieces.status() == whole.status() && pieces.error() == whole.error() &&
                    (state == HttpReplyParser::State::failed || pieces.body() == whole.body()),
                "the same reply in pieces");
    fuzz::check(whole.body().size() <= limits.maxBodyBytes, "body within its cap");
    fuzz::check(state != HttpReplyParser::State::complete ||
                    (whole.status() >= 200 && whole.status() <= 599),
                "a whole reply has a final status");
    fuzz::check((state == HttpReplyParser::State::failed) == !whole.error().isEmpty(),
                "a failure, and only a failure, says why");
    return 0;
}
