// Reading and writing channel lists.
#include "check/channels.h"

#include <algorithm>

#include "common/text.h"

namespace ze {

namespace {

int Step(Band band) {
    return band == Band::k2_4GHz ? 1 : 4;
}

int HighestChannel(Band band) {
    return band == Band::k2_4GHz ? 14 : 177;
}

std::u16string_view Trim(std::u16string_view text) {
    while (!text.empty() && (text.front() == u' ' || text.front() == u'\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == u' ' || text.back() == u'\t'))
        text.remove_suffix(1);
    return text;
}

// A channel number of the band: decimal digits only.
bool ReadChannel(std::u16string_view text, Band band, int* channel) {
    text = Trim(text);
    if (text.empty() || text.size() > 3 ||
        !std::all_of(text.begin(), text.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; }))
        return false;
    *channel = Wtoi(text);
    return *channel >= 1 && *channel <= HighestChannel(band);
}

// One item of the list, a channel or a range, added to *channels; the problem or
// nothing.
std::u16string ReadItem(std::u16string_view item, Band band, std::vector<int>* channels) {
    std::size_t dash = item.find(u'-');
    int first = 0, last = 0;
    bool read = ReadChannel(item.substr(0, dash), band, &first);
    if (dash == std::u16string_view::npos)
        last = first;
    else
        read = read && ReadChannel(item.substr(dash + 1), band, &last);
    std::u16string shown(Trim(item));
    if (!read)
        return Format(u"\"%s\" is not a channel of the band (1 to %d) or a range of them",
                      shown.c_str(), HighestChannel(band));
    if (first > last)
        return u"the range \"" + shown + u"\" runs backwards";
    if ((last - first) % Step(band) != 0)
        return u"the range \"" + shown + u"\" does not run in steps of 4 (20 MHz channels)";
    for (int channel = first; channel <= last; channel += Step(band))
        channels->push_back(channel);
    return std::u16string();
}

}  // namespace

int ChannelCentreMhz(Band band, int channel) {
    if (band == Band::k5GHz)
        return 5000 + 5 * channel;
    return channel == 14 ? 2484 : 2407 + 5 * channel;
}

ChannelList ReadChannelList(std::u16string_view text, Band band) {
    ChannelList list;
    std::size_t open = text.find(u'(');
    if (open == std::u16string_view::npos)
        return list;
    list.state = ChannelList::State::Unreadable;
    std::size_t close = text.find(u')', open);
    if (close == std::u16string_view::npos) {
        list.problem = u"its list has no closing parenthesis";
        return list;
    }
    std::u16string_view rest = text.substr(open + 1, close - open - 1);
    std::vector<int> channels;
    for (;;) {
        std::size_t comma = rest.find(u',');
        list.problem = ReadItem(rest.substr(0, comma), band, &channels);
        if (!list.problem.empty())
            return list;
        if (comma == std::u16string_view::npos)
            break;
        rest.remove_prefix(comma + 1);
    }
    std::sort(channels.begin(), channels.end());
    channels.erase(std::unique(channels.begin(), channels.end()), channels.end());
    list.state = ChannelList::State::Listed;
    list.channels = std::move(channels);
    return list;
}

std::u16string FormatChannels(const std::vector<int>& channels, Band band) {
    std::u16string text;
    for (std::size_t i = 0; i < channels.size();) {
        std::size_t end = i;
        while (end + 1 < channels.size() && channels[end + 1] == channels[end] + Step(band))
            ++end;
        text += (text.empty() ? u"" : u", ") + Format(u"%d", channels[i]);
        if (end > i)
            text += Format(u"-%d", channels[end]);
        i = end + 1;
    }
    return text;
}

}  // namespace ze
