#pragma once

#include <string>
#include <vector>

// True when `whole` holds the lines of `part` in order, with any others
// among them.
inline bool IsSubsequence(const std::vector<std::string>& part,
                          const std::vector<std::string>& whole)
{
    size_t matched = 0;
    for (const std::string& line : whole)
        if (matched < part.size() && line == part[matched])
            ++matched;
    return matched == part.size();
}
