#pragma once
// One download job as it lives in memory and in the job database.

#include <QString>
#include <array>
#include <cstdint>

constexpr int16_t VbTrue = -1;
constexpr int16_t VbFalse = 0;
inline int16_t VbBool(bool value) {
    return value ? VbTrue : VbFalse;
}

// Job states.
enum JobState : int32_t {
    StateFree = 0,
    StateRunning = 1,
    StatePaused = 2,
    StateWaiting = 3,
    StateComplete = 4,
    StateError = 5,
};

struct SegmentRecord {
    int32_t StartPos = 0;
    int32_t CurPos = 0;
    int32_t EndPos = 0;
    bool operator==(const SegmentRecord&) const = default;
};

constexpr int kMaxParts = 10;

// Field order is the order of the file. Booleans are the 16-bit -1/0 of the file; test them
// with != 0. Segments are indexed 1..10 like connections; element 0 is unused.
struct JobRecord {
    QString ClassKey;
    int32_t State = 0;
    QString Referer;
    int16_t CanResume = 0;
    QString Comment;
    QString LocalFile;
    QString FileName;
    int16_t IsNew = 0;
    int16_t FileOpen = 0;
    int32_t FileNo = 0;
    QString Spare;
    int32_t FileSize = 0;
    int32_t Received = 0;
    int16_t Parts = 0;
    QString Url;
    QString Host;
    QString Path;
    uint16_t Port = 0;  // stored as 16 bits; read unsigned so ports up to 65535 work
    int16_t UseProxy = 0;
    QString ProxyHost;
    uint16_t ProxyPort = 0;
    int16_t UseLogin = 0;
    QString UserName;
    QString Password;
    QString UserAgent;
    std::array<SegmentRecord, kMaxParts + 1> Segments{};
    double CreateTime = 0;
    double CompleteTime = 0;
    double TimeElapsed = 0;
    double RunStart = 0;
    double RunTime = 0;
    float AvgSpeed = 0;
    int32_t Reserved = 0;

    bool operator==(const JobRecord&) const = default;
};

// Fixed (non-string) bytes of a job record in the file.
constexpr int kJobRecordFixedBytes = 200;
