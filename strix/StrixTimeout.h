#pragma once
// Response timeout of serial connections in milliseconds, set by the application through the C
// API (exported variable, initially 10000).
extern "C" int _TimeoutMs;
