// The decisions of the source chain after a failed request: whether the socket
// error is one that a second try may cure, and whether a cut-off text body is
// good enough to go on with.
#pragma once

#include <string>

// The socket errors retried, each number followed by "/".
constexpr const char* kRetryableSocketErrors = "10004/10038/10053/10058/";
// Attempts per URL: the first one and five retries.
constexpr int kMaxSourceAttempts = 6;
// Pause between two attempts, ended early by a control request.
constexpr int kSourceRetryWaitMs = 1000;

// True when the first five characters of `message` (all of it when shorter)
// followed by "/" occur in kRetryableSocketErrors; so an empty message is too.
bool IsRetryableSocketError(const std::string& message);

// True when a request that has failed `failedAttempts` times in all, the last
// time with `message`, gets another attempt.
bool ShouldRetrySource(const std::string& message, int failedAttempts);

// True when a failure still counts as a received answer: a text body cut off
// by the time limit ("Socket capture aborted") that left data behind.
bool ProceedsWithPartialBody(const std::string& message, const std::string& body);
