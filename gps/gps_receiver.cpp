#include "gps/gps_receiver.h"

void CGpsReceiver::SplitFields(const std::string& text, const std::string& separators,
                               std::vector<std::string>& fields) {
    fields.clear();
    size_t pos = 0;
    while (true) {
        pos = text.find_first_not_of(separators, pos);
        if (pos == std::string::npos)
            return;
        size_t end = text.find_first_of(separators, pos);
        if (end == std::string::npos)
            end = text.size();
        fields.emplace_back(text, pos, end - pos);
        pos = end;
    }
}
