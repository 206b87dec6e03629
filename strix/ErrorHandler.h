#pragma once
// Error sink through which a connection reports failures (codes from ErrorCodes.h) to the
// engine that owns it.
class ErrorHandler {
  public:
    virtual ~ErrorHandler() = default;
    virtual void setError(int code, char* message, void* param) = 0;
};
