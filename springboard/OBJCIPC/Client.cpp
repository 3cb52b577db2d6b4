#include "Client.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "Frame.h"
#include "SocketIO.h"

namespace objcipc {

SendResult sendMessage(const std::string& deviceRoot, const std::string& messageName, const Dictionary& message,
                       double timeoutSeconds) {
    using Status = SendResult::Status;
    SendResult result;
    if (deviceRoot.empty()) return result;
    result.status = Status::TimedOut;
    if (!(timeoutSeconds > 0)) return result;
    // Cap the wait at a day so the deadline arithmetic cannot overflow.
    const auto timeout = std::chrono::duration<double>(std::min(timeoutSeconds, 86400.0));
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(timeout);

    // One message per connection: marked last, the server closes its end as
    // soon as the reply is out, with no wait to see this end close. Encoded
    // before connecting: the server wakes at the connection, and finding the
    // request already there saves it a wait and a second read.
    const std::string request = encodeFrame(requestBody(messageName, message, true));
    const springboard::FileDescriptor connection = connectUnixSocket(socketPathForDevice(deviceRoot), deadline);
    const int fd = connection.get();
    if (!connection) {
        const int error = errno;
        result.status = error == ENOENT || error == ECONNREFUSED || error == ENOTDIR ? Status::NoServer
                        : error == EACCES || error == EPERM                          ? Status::PermissionDenied
                        : error == ETIMEDOUT                                         ? Status::TimedOut
                                                                                     : Status::ConnectFailed;
        result.detail = std::strerror(error);
        return result;
    }
    if (!sendAll(fd, request, deadline)) {
        // The server hangs up on requests it refuses (an oversized one among them).
        result.status = Clock::now() >= deadline ? Status::TimedOut : Status::Dropped;
        return result;
    }
    FrameRead read = readFrame(fd, deadline, kMaxReplyPayload);
    switch (read.status) {
        case ReadStatus::Ok: break;
        case ReadStatus::TimedOut: result.status = Status::TimedOut; return result;
        case ReadStatus::Closed: result.status = Status::Dropped; return result;
        case ReadStatus::Oversized:
            result.status = Status::BadReply;
            result.detail = "its announced length is over the limit";
            return result;
        case ReadStatus::Malformed:
            result.status = Status::BadReply;
            result.detail = "it is no reply frame";
            return result;
        case ReadStatus::Failed: result.status = Status::Dropped; return result;
    }
    if ((result.reply = replyFromBody(*read.body))) {
        result.status = Status::Replied;
    } else if (auto error = errorFromBody(*read.body)) {
        result.status = *error == "no handler for " + messageName ? Status::NoHandler : Status::ErrorReply;
        result.detail = std::move(*error);
    } else {
        result.status = Status::BadReply;
        result.detail = "it holds neither a reply nor an error";
    }
    return result;
}

std::string describeFailure(const SendResult& result, const std::string& deviceRoot, const std::string& messageName) {
    using Status = SendResult::Status;
    const std::string socket = socketPathForDevice(deviceRoot);
    switch (result.status) {
        case Status::Replied: return "";
        case Status::NoDevice: return "no device directory is set";
        case Status::NoServer:
            return "no SpringBoard is serving " + deviceRoot + " (nothing listens at " + socket +
                   "; is velmora-sim run or serve running there?)";
        case Status::PermissionDenied: return "permission denied on " + socket + " (" + result.detail + ")";
        case Status::ConnectFailed: return "cannot connect to " + socket + ": " + result.detail;
        case Status::TimedOut: return "no reply to " + messageName + " from SpringBoard on " + deviceRoot + " in time";
        case Status::NoHandler: return "SpringBoard on " + deviceRoot + " answered: " + result.detail;
        case Status::ErrorReply: return "SpringBoard on " + deviceRoot + " answered " + messageName + " with an error: " + result.detail;
        case Status::Dropped:
            return "SpringBoard on " + deviceRoot + " closed the connection without answering " + messageName;
        case Status::BadReply: return "SpringBoard's answer to " + messageName + " is unreadable: " + result.detail;
    }
    return "";
}

}  // namespace objcipc
