#pragma once

#include <string>

namespace sim {

// What the master set on the line. A pseudo-terminal keeps the speed and the stop bits but
// forces 8 data bits without parity.
struct LineSettings {
    int rate = 0; // bits per second, 0 when the speed is not a standard one
    int bitsPerByte = 10; // start, data, parity and stop bits
};

// A pseudo-terminal whose slave side stands in for the module's serial port. The link COM<n> in
// the working directory points at the slave side, where the master opens it.
class PtyLine {
public:
    PtyLine() = default;
    ~PtyLine();
    PtyLine(const PtyLine&) = delete;
    PtyLine& operator=(const PtyLine&) = delete;

    // Opens the pair at the given start speed and creates the link; on failure says why.
    bool open(const std::string& linkName, int rate, std::string& error);

    int fd() const { return master_; }
    const std::string& slavePath() const { return slavePath_; }

    // Read through our own descriptor of the slave side, which shares the termios of the tty.
    LineSettings settings() const;

    // Replies that the master never read: a real port loses them while it is closed, but the
    // slave descriptor we hold keeps them queued for the next master.
    void dropUnreadReplies();
    // The rest of a broken request. Not modbus_flush(), which would also drop a reply in transit.
    void dropPendingRequest();

private:
    void removeLink();

    int master_ = -1;
    int slave_ = -1; // held open: without it the master side reads EIO while no one has the port
    std::string slavePath_;
    std::string link_;
};

} // namespace sim
