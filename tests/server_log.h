// Reading qxserver's request log in tests: the requests logged since the
// last look, so a test sees what one statement sent to the server.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The lines of `text` (the whole log) after the first *seen bytes that hold
// both "request" and `what`, each cut to start at "request"; *seen becomes the
// size of text, so the next call sees only what was logged in between.
inline std::vector<std::string> QxLogRequestsSince(const std::string &text, size_t *seen,
                                                   const std::string &what)
{
    std::vector<std::string> out;
    size_t pos = *seen;
    *seen = text.size();
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(pos, end - pos);
        size_t at = line.find("request");
        if (at != std::string::npos && line.find(what) != std::string::npos)
            out.push_back(line.substr(at));
        pos = end + 1;
    }
    return out;
}
