#include "ReplyParser.h"

#include <cstdio>

namespace {

const char kEndMark[] = ":[ok]";

bool endsWith(const std::string& text, const char* end, size_t endLength) {
    return text.size() >= endLength && text.compare(text.size() - endLength, endLength, end) == 0;
}

std::string numberText(size_t n) { return std::to_string(n); }

}  // namespace

const char* replyKindName(Reply::Kind kind) {
    switch (kind) {
        case Reply::kNone:
            return "none";
        case Reply::kOk:
            return "ok";
        case Reply::kFail:
            return "fail";
        case Reply::kReport:
            return "report";
        case Reply::kTruncated:
            return "truncated report";
        case Reply::kFrame:
            return "frame";
        case Reply::kMalformed:
            return "malformed";
    }
    return "?";
}

size_t ReplyParser::feed(const char* data, size_t len) {
    size_t used = 0;
    while (used < len && !mDone) {
        mReply.raw += data[used];
        take(data[used]);
        ++used;
    }
    return used;
}

void ReplyParser::take(char byte) {
    switch (mState) {
        case kStart:
            if (byte == '[') {
                mStatus = "[";
                mState = kStatus;
            } else if (byte == 'd') {
                mReply.report = "d";
                mState = kReport;
            } else if (byte == '\0') {
                mState = kHeader;
            } else {
                char text[80];
                std::snprintf(text, sizeof text, "unexpected byte 0x%02X where a reply begins",
                              static_cast<unsigned char>(byte));
                malformed(text);
            }
            return;
        case kStatus:
        case kAfterBlob:
            if (mState == kAfterBlob && mStatus.empty() && byte != '[') {
                // More blob bytes than the header announced, or fewer before
                // the reply: either way the header lies about the frame.
                malformed("frame header claims " + numberText(mBlobLength) +
                          " bytes, but more bytes follow before the reply");
                return;
            }
            if (byte == '\0') {
                endStatus();
                return;
            }
            mStatus += byte;
            if (mStatus.size() > sizeof "[fail]") {
                malformed("reply \"" + mStatus + "...\" is neither [ok] nor [fail]");
            }
            return;
        case kReport:
            if (byte == '\0') {
                malformed("NUL byte inside a report line");
                return;
            }
            mReply.report += byte;
            if (endsWith(mReply.report, kEndMark, sizeof kEndMark - 1)) {
                mReply.kind = Reply::kReport;
                mDone = true;
                mState = kEnded;
            } else if (mReply.report.size() > kMaxReportLength) {
                malformed("report line longer than " + numberText(kMaxReportLength) +
                          " bytes without its end mark");
            }
            return;
        case kHeader:
            mBlobLength = (mBlobLength << 8) | static_cast<unsigned char>(byte);
            if (mReply.raw.size() < kFrameHeaderLength) {
                return;
            }
            if (mBlobLength > kMaxBlobLength) {
                malformed("frame header claims " + numberText(mBlobLength) +
                          " bytes, more than the " + numberText(kMaxBlobLength) +
                          " of the largest MP.bin");
                return;
            }
            mState = mBlobLength == 0 ? kAfterBlob : kBlob;
            return;
        case kBlob:
            mReply.blob += byte;
            if (mReply.blob.size() == mBlobLength) {
                mState = kAfterBlob;
            }
            return;
        case kEnded:
            return;
    }
}

void ReplyParser::endStatus() {
    const bool afterFrame = mState == kAfterBlob;
    mDone = true;
    mState = kEnded;
    if (mStatus == "[ok]") {
        mReply.kind = afterFrame ? Reply::kFrame : Reply::kOk;
    } else if (mStatus == "[fail]" && !afterFrame) {
        mReply.kind = Reply::kFail;
    } else if (afterFrame) {
        mReply.kind = Reply::kMalformed;
        mReply.problem = "frame of " + numberText(mBlobLength) + " bytes followed by \"" + mStatus +
                         "\" instead of [ok]";
    } else {
        mReply.kind = Reply::kMalformed;
        mReply.problem = "reply \"" + mStatus + "\" is neither [ok] nor [fail]";
    }
}

void ReplyParser::malformed(const std::string& problem) {
    mReply.kind = Reply::kMalformed;
    mReply.problem = problem;
    mDone = true;
    mState = kEnded;
}

Reply ReplyParser::finish() {
    if (mDone) {
        return mReply;
    }
    mDone = true;
    switch (mState) {
        case kStart:
            mReply.kind = Reply::kNone;
            break;
        case kStatus:
            mReply.kind = Reply::kMalformed;
            mReply.problem = "reply \"" + mStatus + "\" ended without its NUL";
            break;
        case kReport:
            mReply.kind = Reply::kTruncated;
            break;
        case kHeader:
            mReply.kind = Reply::kMalformed;
            mReply.problem = "frame ended inside its length header (" +
                             numberText(mReply.raw.size()) + " of " +
                             numberText(kFrameHeaderLength) + " bytes)";
            break;
        case kBlob:
            mReply.kind = Reply::kMalformed;
            mReply.problem = "frame header claims " + numberText(mBlobLength) + " bytes, " +
                             numberText(mReply.blob.size()) + " received";
            break;
        case kAfterBlob:
            mReply.kind = Reply::kMalformed;
            mReply.problem = "frame of " + numberText(mBlobLength) + " bytes not followed by [ok]";
            break;
        case kEnded:
            break;
    }
    mState = kEnded;
    return mReply;
}
