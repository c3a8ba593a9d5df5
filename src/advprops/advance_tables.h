// The advanced properties the text reset handles, the INF token of each one's display
// name, and the INF tokens of the display texts of their choices.
#pragma once

#include <string_view>

namespace ze {

struct AdvanceSubKeyEntry {
    std::u16string_view strSubKeyName;      // subkey of NDI\params, matched case-sensitively
    std::u16string_view strParamDescToken;  // INF token of the ParamDesc text
    std::u16string_view strEnumArrayName;   // enum text array, or "None"
};

inline constexpr int g_nAdvanceSubKeyCnt = 10;

inline constexpr AdvanceSubKeyEntry g_AdvanceSubKeyTable[g_nAdvanceSubKeyCnt] = {
    {u"AdhocNMode", u"AdhocNMode", u"EnableDisable"},
    {u"CountryRegion", u"CountryRegion24G", u"CountryRegion_Array"},
    {u"CountryRegionABand", u"CountryRegion5G", u"CountryRegionABand_Array"},
    {u"IEEE80211H", u"IEEE802_11h", u"EnableDisable"},
    {u"NetworkAddress", u"LocalNetworkAddress", u"None"},
    {u"PSMode", u"PSMode", u"PSMode_Array"},
    {u"PSPXlink", u"PSPXlink", u"EnableDisable"},
    {u"Radio", u"RadioOnOff", u"RadioEnableDisable"},
    {u"SmartScan", u"SmartScan", u"EnableDisable"},
    {u"SSID", u"SSID", u"None"},
};

// Enum text arrays: the entry at index n is the token of the choice named n.
inline constexpr int g_nEnableDisableCnt = 2;
inline constexpr std::u16string_view g_EnableDisable[g_nEnableDisableCnt] = {u"Disable", u"Enable"};

inline constexpr int g_nRadioEnableDisableCnt = 2;
inline constexpr std::u16string_view g_RadioEnableDisable[g_nRadioEnableDisableCnt] = {u"Enable",
                                                                                       u"Disable"};

inline constexpr int g_nCountryRegionArrayCnt = 8;
inline constexpr std::u16string_view g_CountryRegion_Array[g_nCountryRegionArrayCnt] = {
    u"CountryRegion24G_0", u"CountryRegion24G_1", u"CountryRegion24G_2", u"CountryRegion24G_3",
    u"CountryRegion24G_4", u"CountryRegion24G_5", u"CountryRegion24G_6", u"CountryRegion24G_7",
};

inline constexpr int g_nCountryRegionABandArrayCnt = 17;
inline constexpr std::u16string_view g_CountryRegionABand_Array[g_nCountryRegionABandArrayCnt] = {
    u"CountryRegion5G_0",  u"CountryRegion5G_1",  u"CountryRegion5G_2",  u"CountryRegion5G_3",
    u"CountryRegion5G_4",  u"CountryRegion5G_5",  u"CountryRegion5G_6",  u"CountryRegion5G_7",
    u"CountryRegion5G_8",  u"CountryRegion5G_9",  u"CountryRegion5G_10", u"CountryRegion5G_11",
    u"CountryRegion5G_12", u"CountryRegion5G_13", u"CountryRegion5G_14", u"CountryRegion5G_15",
    u"CountryRegion5G_16",
};

inline constexpr int g_nPSModeArrayCnt = 2;
inline constexpr std::u16string_view g_PSMode_Array[g_nPSModeArrayCnt] = {u"CAM", u"MAXPSP"};

// The name under which a property has no enum texts.
inline constexpr std::u16string_view kNoEnumArray = u"None";

struct AdvanceEnumArray {
    std::u16string_view strEnumArrayName;
    const std::u16string_view* pTokens;
    int nArrayCount;
};

// Searched in this order by name.
inline constexpr AdvanceEnumArray g_AdvanceEnumArrays[] = {
    {u"EnableDisable", g_EnableDisable, g_nEnableDisableCnt},
    {u"RadioEnableDisable", g_RadioEnableDisable, g_nRadioEnableDisableCnt},
    {u"CountryRegion_Array", g_CountryRegion_Array, g_nCountryRegionArrayCnt},
    {u"CountryRegionABand_Array", g_CountryRegionABand_Array, g_nCountryRegionABandArrayCnt},
    {u"PSMode_Array", g_PSMode_Array, g_nPSModeArrayCnt},
};

// The table row whose strSubKeyName equals the name exactly, or nullptr.
const AdvanceSubKeyEntry* FindAdvanceSubKeyEntry(std::u16string_view subKeyName);

// The enum text array of that name, or nullptr (for "None" or an unknown name).
const AdvanceEnumArray* FindAdvanceEnumArray(std::u16string_view enumArrayName);

}  // namespace ze
