#pragma once
#include <string>

// Script text as raw bytes: no encoding, no line-end conversion. Positions are
// byte offsets; std::string::npos is the not-found position.
using ScriptText = std::string;
