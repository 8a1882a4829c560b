#pragma once

namespace clipferry {

class BandwidthLimiter;
class UploadQueue;

// The transfer settings a shared link calls for, kept between runs: how many files go at
// once (the queue's) and the cap on all transfers together (the limiter's), in MB/s of
// 10^6 bytes, 0 for none. Read from the settings when made.
class TransferSettings {
public:
    TransferSettings(UploadQueue& queue, BandwidthLimiter& limiter, int defaultUploadsAtOnce);

    [[nodiscard]] int uploadsAtOnce() const;
    void setUploadsAtOnce(int count);
    [[nodiscard]] double limitMBps() const { return m_limitMBps; }
    void setLimitMBps(double megabytesPerSecond);

private:
    UploadQueue& m_queue;
    BandwidthLimiter& m_limiter;
    double m_limitMBps = 0;
};

} // namespace clipferry
