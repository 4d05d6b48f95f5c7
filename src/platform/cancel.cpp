#include "platform/cancel.h"

namespace {
thread_local CancelTokenPtr currentToken;
}

CancelTokenPtr CurrentCancelToken() { return currentToken; }

bool CurrentThreadCancelled() { return currentToken && currentToken->IsCancelled(); }

ScopedCancelToken::ScopedCancelToken(CancelTokenPtr token) : previous_(std::move(currentToken)) {
  currentToken = std::move(token);
}

ScopedCancelToken::~ScopedCancelToken() { currentToken = std::move(previous_); }
