#include "encoding/Charset.h"

#include "platform/Platform.h"

#include <cstring>

// Two tables: every accepted name with its code page (sorted by name, searched by bisection),
// and every code page that has a name at all, with its canonical name where it has one and how
// the engine converts it (sorted by code page). Names are stored normalised: lower case, '-' as
// separator. A few rows look irregular and are meant so: "gb18030" resolves to 936 although
// 54936 is named "gb18030"; 50220 and 50222 share the name "iso-2022-jp"; "x-ansi" is the fixed
// 1252. Some code pages have names but no canonical name (709, 21027, 50000, 50930 to 50939,
// 51950), so they can be chosen by name but not by number.
//
// Names shorter than three bytes are refused before the table is searched, so short aliases such
// as "l1" or "us" are not accepted and are not listed.

namespace {

struct CharsetNameEntry {
    const char* name;
    int codePage;
};

struct CodePageEntry {
    int codePage;
    const char* canonicalName; // null when the code page has none
    CodePageConversion conversion;
};

// clang-format off
const CharsetNameEntry kCharsetNames[] = {
    {"ansi-x3.4-1968", 20127},
    {"ansi-x3.4-1986", 20127},
    {"arabic", 28596},
    {"ascii", 20127},
    {"asmo-449", 709},
    {"asmo-449+", 709},
    {"asmo-708", 708},
    {"big5", 950},
    {"big5-hkscs", 950},
    {"ccsid00858", 858},
    {"ccsid00924", 20924},
    {"ccsid01140", 1140},
    {"ccsid01141", 1141},
    {"ccsid01142", 1142},
    {"ccsid01143", 1143},
    {"ccsid01144", 1144},
    {"ccsid01145", 1145},
    {"ccsid01146", 1146},
    {"ccsid01147", 1147},
    {"ccsid01148", 1148},
    {"ccsid01149", 1149},
    {"chinese", 936},
    {"cn-big5", 950},
    {"cn-gb", 936},
    {"cp00858", 858},
    {"cp00924", 20924},
    {"cp01140", 1140},
    {"cp01141", 1141},
    {"cp01142", 1142},
    {"cp01143", 1143},
    {"cp01144", 1144},
    {"cp01145", 1145},
    {"cp01146", 1146},
    {"cp01147", 1147},
    {"cp01148", 1148},
    {"cp01149", 1149},
    {"cp037", 37},
    {"cp1025", 21025},
    {"cp1026", 1026},
    {"cp1256", 1256},
    {"cp273", 20273},
    {"cp278", 20278},
    {"cp280", 20280},
    {"cp284", 20284},
    {"cp285", 20285},
    {"cp290", 20290},
    {"cp297", 20297},
    {"cp367", 20127},
    {"cp420", 20420},
    {"cp423", 20423},
    {"cp424", 20424},
    {"cp437", 437},
    {"cp500", 500},
    {"cp50227", 50227},
    {"cp819", 28591},
    {"cp850", 850},
    {"cp852", 852},
    {"cp855", 855},
    {"cp857", 857},
    {"cp858", 858},
    {"cp860", 860},
    {"cp861", 861},
    {"cp862", 862},
    {"cp863", 863},
    {"cp864", 864},
    {"cp865", 865},
    {"cp866", 866},
    {"cp869", 869},
    {"cp870", 870},
    {"cp871", 20871},
    {"cp875", 875},
    {"cp880", 20880},
    {"cp905", 20905},
    {"cp930", 50930},
    {"cp933", 50933},
    {"cp935", 50935},
    {"cp937", 50937},
    {"cp939", 50939},
    {"csascii", 20127},
    {"csbig5", 950},
    {"cseuckr", 51949},
    {"cseucpkdfmtjapanese", 51932},
    {"csgb2312", 936},
    {"csgb231280", 936},
    {"csibm037", 37},
    {"csibm1026", 1026},
    {"csibm273", 20273},
    {"csibm277", 20277},
    {"csibm278", 20278},
    {"csibm280", 20280},
    {"csibm284", 20284},
    {"csibm285", 20285},
    {"csibm290", 20290},
    {"csibm297", 20297},
    {"csibm420", 20420},
    {"csibm423", 20423},
    {"csibm424", 20424},
    {"csibm500", 500},
    {"csibm870", 870},
    {"csibm871", 20871},
    {"csibm880", 20880},
    {"csibm905", 20905},
    {"csibmthai", 20838},
    {"csiso2022jp", 50220},
    {"csiso2022kr", 50225},
    {"csiso58gb231280", 936},
    {"csisolatin1", 28591},
    {"csisolatin2", 28592},
    {"csisolatin3", 28593},
    {"csisolatin4", 28594},
    {"csisolatin5", 28599},
    {"csisolatin9", 28605},
    {"csisolatinarabic", 28596},
    {"csisolatincyrillic", 28595},
    {"csisolatingreek", 28597},
    {"csisolatinhebrew", 28598},
    {"cskoi8r", 20866},
    {"csksc56011987", 949},
    {"cspc8codepage437", 437},
    {"csshiftjis", 932},
    {"csunicode11utf7", 65000},
    {"cswindows31j", 932},
    {"cyrillic", 28595},
    {"din-66003", 20106},
    {"dos-720", 720},
    {"dos-862", 862},
    {"dos-874", 874},
    {"ebcdic", 37},
    {"ebcdic-cp-ar1", 20420},
    {"ebcdic-cp-be", 500},
    {"ebcdic-cp-ca", 37},
    {"ebcdic-cp-ch", 500},
    {"ebcdic-cp-dk", 20277},
    {"ebcdic-cp-es", 20284},
    {"ebcdic-cp-fi", 20278},
    {"ebcdic-cp-fr", 20297},
    {"ebcdic-cp-gb", 20285},
    {"ebcdic-cp-gr", 20423},
    {"ebcdic-cp-he", 20424},
    {"ebcdic-cp-is", 20871},
    {"ebcdic-cp-it", 20280},
    {"ebcdic-cp-nl", 37},
    {"ebcdic-cp-no", 20277},
    {"ebcdic-cp-roece", 870},
    {"ebcdic-cp-se", 20278},
    {"ebcdic-cp-tr", 20905},
    {"ebcdic-cp-us", 37},
    {"ebcdic-cp-wt", 37},
    {"ebcdic-cp-yu", 870},
    {"ebcdic-cyrillic", 20880},
    {"ebcdic-de-273+euro", 1141},
    {"ebcdic-dk-277+euro", 1142},
    {"ebcdic-es-284+euro", 1145},
    {"ebcdic-fi-278+euro", 1143},
    {"ebcdic-fr-297+euro", 1147},
    {"ebcdic-gb-285+euro", 1146},
    {"ebcdic-is-871+euro", 1149},
    {"ebcdic-it-280+euro", 1144},
    {"ebcdic-jp-kana", 20290},
    {"ebcdic-latin9--euro", 20924},
    {"ebcdic-no-277+euro", 1142},
    {"ebcdic-se-278+euro", 1143},
    {"ebcdic-us-37+euro", 1140},
    {"ecma-114", 28596},
    {"ecma-118", 28597},
    {"elot-928", 28597},
    {"euc-cn", 51936},
    {"euc-jp", 51932},
    {"euc-kr", 51949},
    {"euc-tw", 51950},
    {"gb-2312-80", 936},
    {"gb18030", 936},
    {"gb18030-2000", 936},
    {"gb2312", 936},
    {"gb2312-80", 936},
    {"gbk", 936},
    {"german", 20106},
    {"greek", 28597},
    {"greek8", 28597},
    {"hebrew", 28598},
    {"hz-gb-2312", 52936},
    {"ibm-thai", 20838},
    {"ibm00858", 858},
    {"ibm00924", 20924},
    {"ibm01047", 1047},
    {"ibm01140", 1140},
    {"ibm01141", 1141},
    {"ibm01142", 1142},
    {"ibm01143", 1143},
    {"ibm01144", 1144},
    {"ibm01145", 1145},
    {"ibm01146", 1146},
    {"ibm01147", 1147},
    {"ibm01148", 1148},
    {"ibm01149", 1149},
    {"ibm037", 37},
    {"ibm1026", 1026},
    {"ibm273", 20273},
    {"ibm277", 20277},
    {"ibm278", 20278},
    {"ibm280", 20280},
    {"ibm284", 20284},
    {"ibm285", 20285},
    {"ibm290", 20290},
    {"ibm297", 20297},
    {"ibm367", 20127},
    {"ibm420", 20420},
    {"ibm423", 20423},
    {"ibm424", 20424},
    {"ibm437", 437},
    {"ibm500", 500},
    {"ibm737", 737},
    {"ibm775", 775},
    {"ibm819", 28591},
    {"ibm850", 850},
    {"ibm852", 852},
    {"ibm855", 855},
    {"ibm857", 857},
    {"ibm860", 860},
    {"ibm861", 861},
    {"ibm862", 862},
    {"ibm863", 863},
    {"ibm864", 864},
    {"ibm865", 865},
    {"ibm866", 866},
    {"ibm869", 869},
    {"ibm870", 870},
    {"ibm871", 20871},
    {"ibm880", 20880},
    {"ibm905", 20905},
    {"irv", 20105},
    {"iso-10646-ucs-2", 1200},
    {"iso-2022-jp", 50220},
    {"iso-2022-jp-1", 50221},
    {"iso-2022-jp-2", 50222},
    {"iso-2022-jpeuc", 51932},
    {"iso-2022-kr", 50225},
    {"iso-2022-kr-7", 50225},
    {"iso-2022-kr-7bit", 50225},
    {"iso-2022-kr-8", 51949},
    {"iso-2022-kr-8bit", 51949},
    {"iso-646.irv:1991", 20127},
    {"iso-8859-1", 28591},
    {"iso-8859-11", 874},
    {"iso-8859-13", 28603},
    {"iso-8859-15", 28605},
    {"iso-8859-1:1987", 28591},
    {"iso-8859-2", 28592},
    {"iso-8859-2:1987", 28592},
    {"iso-8859-3", 28593},
    {"iso-8859-3:1988", 28593},
    {"iso-8859-4", 28594},
    {"iso-8859-4:1988", 28594},
    {"iso-8859-5", 28595},
    {"iso-8859-5:1988", 28595},
    {"iso-8859-6", 28596},
    {"iso-8859-6:1987", 28596},
    {"iso-8859-7", 28597},
    {"iso-8859-7:1987", 28597},
    {"iso-8859-8", 28598},
    {"iso-8859-8 visual", 28598},
    {"iso-8859-8-i", 38598},
    {"iso-8859-8:1988", 28598},
    {"iso-8859-9", 28599},
    {"iso-8859-9:1989", 28599},
    {"iso-ir-100", 28591},
    {"iso-ir-101", 28592},
    {"iso-ir-109", 28593},
    {"iso-ir-110", 28594},
    {"iso-ir-126", 28597},
    {"iso-ir-127", 28596},
    {"iso-ir-138", 28598},
    {"iso-ir-144", 28595},
    {"iso-ir-148", 28599},
    {"iso-ir-149", 949},
    {"iso-ir-58", 936},
    {"iso-ir-6", 20127},
    {"iso646-us", 20127},
    {"johab", 1361},
    {"koi", 20866},
    {"koi8", 20866},
    {"koi8-r", 20866},
    {"koi8-ru", 21866},
    {"koi8-u", 21866},
    {"koi8r", 20866},
    {"korean", 949},
    {"ks-c-5601", 949},
    {"ks-c-5601-1987", 949},
    {"ks-c-5601-1989", 949},
    {"ks-c5601", 949},
    {"ksc-5601", 949},
    {"ksc5601", 949},
    {"latin-1", 28591},
    {"latin-2", 28592},
    {"latin-3", 28593},
    {"latin-4", 28594},
    {"latin-5", 28599},
    {"latin-9", 28605},
    {"latin1", 28591},
    {"latin2", 28592},
    {"latin3", 28593},
    {"latin4", 28594},
    {"latin5", 28599},
    {"latin9", 28605},
    {"logical", 28598},
    {"macarabic", 10004},
    {"maccentraleurope", 10029},
    {"macchinesesimp", 10008},
    {"macchinesetrad", 10002},
    {"maccyrillic", 10007},
    {"macgreek", 10006},
    {"machebrew", 10005},
    {"macicelandic", 10079},
    {"macintosh", 10000},
    {"macjapanese", 10001},
    {"mackorean", 10003},
    {"macroman", 10000},
    {"macturkish", 10081},
    {"ms-kanji", 932},
    {"norwegian", 20108},
    {"ns-4551-1", 20108},
    {"sen-850200-b", 20107},
    {"shift-jis", 932},
    {"sjis", 932},
    {"swedish", 20107},
    {"tis-620", 874},
    {"ucs-2", 1200},
    {"ucs2", 1200},
    {"unicode", 1200},
    {"unicode-1-1-utf-7", 65000},
    {"unicode-1-1-utf-8", 65001},
    {"unicode-2-0-utf-7", 65000},
    {"unicode-2-0-utf-8", 65001},
    {"unicodefffe", 1201},
    {"us-ascii", 20127},
    {"utf-16", 1200},
    {"utf-16be", 1201},
    {"utf-16le", 1200},
    {"utf-32", 65005},
    {"utf-32be", 65006},
    {"utf-7", 65000},
    {"utf-8", 65001},
    {"utf16", 1200},
    {"utf8", 65001},
    {"visual", 28598},
    {"windows-1250", 1250},
    {"windows-1251", 1251},
    {"windows-1252", 1252},
    {"windows-1253", 1253},
    {"windows-1254", 1254},
    {"windows-1255", 1255},
    {"windows-1256", 1256},
    {"windows-1257", 1257},
    {"windows-1258", 1258},
    {"windows-874", 874},
    {"x-ansi", 1252},
    {"x-chinese-cns", 20000},
    {"x-chinese-eten", 20002},
    {"x-cp1250", 1250},
    {"x-cp1251", 1251},
    {"x-cp20001", 20001},
    {"x-cp20003", 20003},
    {"x-cp20004", 20004},
    {"x-cp20005", 20005},
    {"x-cp20261", 20261},
    {"x-cp20269", 20269},
    {"x-cp20936", 20936},
    {"x-cp20949", 20949},
    {"x-cp21027", 21027},
    {"x-cp50227", 50227},
    {"x-ebcdic-japaneseanduscanada", 50931},
    {"x-ebcdic-koreanextended", 20833},
    {"x-euc", 51932},
    {"x-euc-cn", 51936},
    {"x-euc-jp", 51932},
    {"x-europa", 29001},
    {"x-ia5", 20105},
    {"x-ia5-german", 20106},
    {"x-ia5-norwegian", 20108},
    {"x-ia5-swedish", 20107},
    {"x-iscii-as", 57006},
    {"x-iscii-be", 57003},
    {"x-iscii-de", 57002},
    {"x-iscii-gu", 57010},
    {"x-iscii-ka", 57008},
    {"x-iscii-ma", 57009},
    {"x-iscii-or", 57007},
    {"x-iscii-pa", 57011},
    {"x-iscii-ta", 57004},
    {"x-iscii-te", 57005},
    {"x-mac-arabic", 10004},
    {"x-mac-ce", 10029},
    {"x-mac-chinesesimp", 10008},
    {"x-mac-chinesetrad", 10002},
    {"x-mac-croatian", 10082},
    {"x-mac-cyrillic", 10007},
    {"x-mac-greek", 10006},
    {"x-mac-hebrew", 10005},
    {"x-mac-icelandic", 10079},
    {"x-mac-japanese", 10001},
    {"x-mac-korean", 10003},
    {"x-mac-romanian", 10010},
    {"x-mac-thai", 10021},
    {"x-mac-turkish", 10081},
    {"x-mac-ukrainian", 10017},
    {"x-ms-cp932", 932},
    {"x-sjis", 932},
    {"x-unicode-1-1-utf-7", 65000},
    {"x-unicode-1-1-utf-8", 65001},
    {"x-unicode-2-0-utf-7", 65000},
    {"x-unicode-2-0-utf-8", 65001},
    {"x-user-defined", 50000},
    {"x-x-big5", 950},
};

const CodePageEntry kCodePageRows[] = {
    {37, "ibm037", CodePageConversion::kTable},
    {437, "ibm437", CodePageConversion::kTable},
    {500, "ibm500", CodePageConversion::kTable},
    {708, "asmo-708", CodePageConversion::kTable},
    {709, nullptr, CodePageConversion::kNone},
    {720, "dos-720", CodePageConversion::kTable},
    {737, "ibm737", CodePageConversion::kTable},
    {775, "ibm775", CodePageConversion::kTable},
    {850, "ibm850", CodePageConversion::kTable},
    {852, "ibm852", CodePageConversion::kTable},
    {855, "ibm855", CodePageConversion::kTable},
    {857, "ibm857", CodePageConversion::kTable},
    {858, "ibm00858", CodePageConversion::kTable},
    {860, "ibm860", CodePageConversion::kTable},
    {861, "ibm861", CodePageConversion::kTable},
    {862, "dos-862", CodePageConversion::kTable},
    {863, "ibm863", CodePageConversion::kTable},
    {864, "ibm864", CodePageConversion::kTable},
    {865, "ibm865", CodePageConversion::kTable},
    {866, "cp866", CodePageConversion::kTable},
    {869, "ibm869", CodePageConversion::kTable},
    {870, "ibm870", CodePageConversion::kTable},
    {874, "windows-874", CodePageConversion::kTable},
    {875, "cp875", CodePageConversion::kTable},
    {932, "shift_jis", CodePageConversion::kTable},
    {936, "gb2312", CodePageConversion::kTable},
    {949, "ks_c_5601-1987", CodePageConversion::kTable},
    {950, "big5", CodePageConversion::kTable},
    {1026, "ibm1026", CodePageConversion::kTable},
    {1047, "ibm01047", CodePageConversion::kTable},
    {1140, "ibm01140", CodePageConversion::kTable},
    {1141, "ibm01141", CodePageConversion::kTable},
    {1142, "ibm01142", CodePageConversion::kTable},
    {1143, "ibm01143", CodePageConversion::kTable},
    {1144, "ibm01144", CodePageConversion::kTable},
    {1145, "ibm01145", CodePageConversion::kTable},
    {1146, "ibm01146", CodePageConversion::kTable},
    {1147, "ibm01147", CodePageConversion::kTable},
    {1148, "ibm01148", CodePageConversion::kTable},
    {1149, "ibm01149", CodePageConversion::kTable},
    {1200, "unicode", CodePageConversion::kBuiltIn},
    {1201, "unicodefffe", CodePageConversion::kBuiltIn},
    {1250, "windows-1250", CodePageConversion::kTable},
    {1251, "windows-1251", CodePageConversion::kTable},
    {1252, "windows-1252", CodePageConversion::kTable},
    {1253, "windows-1253", CodePageConversion::kTable},
    {1254, "windows-1254", CodePageConversion::kTable},
    {1255, "windows-1255", CodePageConversion::kTable},
    {1256, "windows-1256", CodePageConversion::kTable},
    {1257, "windows-1257", CodePageConversion::kTable},
    {1258, "windows-1258", CodePageConversion::kTable},
    {1361, "johab", CodePageConversion::kTable},
    {10000, "macintosh", CodePageConversion::kTable},
    {10001, "x-mac-japanese", CodePageConversion::kTable},
    {10002, "x-mac-chinesetrad", CodePageConversion::kNone},
    {10003, "x-mac-korean", CodePageConversion::kNone},
    {10004, "x-mac-arabic", CodePageConversion::kTable},
    {10005, "x-mac-hebrew", CodePageConversion::kTable},
    {10006, "x-mac-greek", CodePageConversion::kTable},
    {10007, "x-mac-cyrillic", CodePageConversion::kTable},
    {10008, "x-mac-chinesesimp", CodePageConversion::kNone},
    {10010, "x-mac-romanian", CodePageConversion::kTable},
    {10017, "x-mac-ukrainian", CodePageConversion::kTable},
    {10021, "x-mac-thai", CodePageConversion::kTable},
    {10029, "x-mac-ce", CodePageConversion::kTable},
    {10079, "x-mac-icelandic", CodePageConversion::kTable},
    {10081, "x-mac-turkish", CodePageConversion::kTable},
    {10082, "x-mac-croatian", CodePageConversion::kTable},
    {20000, "x-chinese-cns", CodePageConversion::kNone},
    {20001, "x-cp20001", CodePageConversion::kNone},
    {20002, "x-chinese-eten", CodePageConversion::kNone},
    {20003, "x-cp20003", CodePageConversion::kNone},
    {20004, "x-cp20004", CodePageConversion::kNone},
    {20005, "x-cp20005", CodePageConversion::kNone},
    {20105, "x-ia5", CodePageConversion::kTable},
    {20106, "x-ia5-german", CodePageConversion::kTable},
    {20107, "x-ia5-swedish", CodePageConversion::kTable},
    {20108, "x-ia5-norwegian", CodePageConversion::kTable},
    {20127, "us-ascii", CodePageConversion::kTable},
    {20261, "x-cp20261", CodePageConversion::kTable},
    {20269, "x-cp20269", CodePageConversion::kTable},
    {20273, "ibm273", CodePageConversion::kTable},
    {20277, "ibm277", CodePageConversion::kTable},
    {20278, "ibm278", CodePageConversion::kTable},
    {20280, "ibm280", CodePageConversion::kTable},
    {20284, "ibm284", CodePageConversion::kTable},
    {20285, "ibm285", CodePageConversion::kTable},
    {20290, "ibm290", CodePageConversion::kTable},
    {20297, "ibm297", CodePageConversion::kTable},
    {20420, "ibm420", CodePageConversion::kTable},
    {20423, "ibm423", CodePageConversion::kTable},
    {20424, "ibm424", CodePageConversion::kTable},
    {20833, "x-ebcdic-koreanextended", CodePageConversion::kNone},
    {20838, "ibm-thai", CodePageConversion::kTable},
    {20866, "koi8-r", CodePageConversion::kTable},
    {20871, "ibm871", CodePageConversion::kTable},
    {20880, "ibm880", CodePageConversion::kTable},
    {20905, "ibm905", CodePageConversion::kTable},
    {20924, "ibm00924", CodePageConversion::kTable},
    {20932, "euc-jp", CodePageConversion::kNone},
    {20936, "x-cp20936", CodePageConversion::kNone},
    {20949, "x-cp20949", CodePageConversion::kNone},
    {21025, "cp1025", CodePageConversion::kTable},
    {21027, nullptr, CodePageConversion::kNone},
    {21866, "koi8-u", CodePageConversion::kTable},
    {28591, "iso-8859-1", CodePageConversion::kTable},
    {28592, "iso-8859-2", CodePageConversion::kTable},
    {28593, "iso-8859-3", CodePageConversion::kTable},
    {28594, "iso-8859-4", CodePageConversion::kTable},
    {28595, "iso-8859-5", CodePageConversion::kTable},
    {28596, "iso-8859-6", CodePageConversion::kTable},
    {28597, "iso-8859-7", CodePageConversion::kTable},
    {28598, "iso-8859-8", CodePageConversion::kTable},
    {28599, "iso-8859-9", CodePageConversion::kTable},
    {28603, "iso-8859-13", CodePageConversion::kTable},
    {28605, "iso-8859-15", CodePageConversion::kTable},
    {29001, "x-europa", CodePageConversion::kNone},
    {38598, "iso-8859-8-i", CodePageConversion::kTable},
    {50000, nullptr, CodePageConversion::kNone},
    {50220, "iso-2022-jp", CodePageConversion::kBuiltIn},
    {50221, "csiso2022jp", CodePageConversion::kBuiltIn},
    {50222, "iso-2022-jp", CodePageConversion::kBuiltIn},
    {50225, "iso-2022-kr", CodePageConversion::kBuiltIn},
    {50227, "x-cp50227", CodePageConversion::kNone},
    {50930, nullptr, CodePageConversion::kNone},
    {50931, nullptr, CodePageConversion::kNone},
    {50933, nullptr, CodePageConversion::kNone},
    {50935, nullptr, CodePageConversion::kNone},
    {50937, nullptr, CodePageConversion::kNone},
    {50939, nullptr, CodePageConversion::kNone},
    {51932, "euc-jp", CodePageConversion::kTable},
    {51936, "euc-cn", CodePageConversion::kTable},
    {51949, "euc-kr", CodePageConversion::kTable},
    {51950, nullptr, CodePageConversion::kNone},
    {52936, "hz-gb-2312", CodePageConversion::kNone},
    {54936, "gb18030", CodePageConversion::kNone},
    {57002, "x-iscii-de", CodePageConversion::kNone},
    {57003, "x-iscii-be", CodePageConversion::kNone},
    {57004, "x-iscii-ta", CodePageConversion::kNone},
    {57005, "x-iscii-te", CodePageConversion::kNone},
    {57006, "x-iscii-as", CodePageConversion::kNone},
    {57007, "x-iscii-or", CodePageConversion::kNone},
    {57008, "x-iscii-ka", CodePageConversion::kNone},
    {57009, "x-iscii-ma", CodePageConversion::kNone},
    {57010, "x-iscii-gu", CodePageConversion::kNone},
    {57011, "x-iscii-pa", CodePageConversion::kNone},
    {65000, "utf-7", CodePageConversion::kBuiltIn},
    {65001, "utf-8", CodePageConversion::kBuiltIn},
    {65005, "utf-32", CodePageConversion::kBuiltIn},
    {65006, "utf-32be", CodePageConversion::kBuiltIn},
};
// clang-format on

const int kCharsetNameCount = static_cast<int>(sizeof kCharsetNames / sizeof kCharsetNames[0]);
const int kCodePageRowCount = static_cast<int>(sizeof kCodePageRows / sizeof kCodePageRows[0]);

const CodePageEntry* findCodePage(int codePage) {
    int lo = 0, hi = kCodePageRowCount - 1;
    while (lo <= hi) {
        int mid = (lo + hi) / 2;
        if (kCodePageRows[mid].codePage == codePage) return &kCodePageRows[mid];
        if (kCodePageRows[mid].codePage < codePage)
            lo = mid + 1;
        else
            hi = mid - 1;
    }
    return nullptr;
}

int findName(const char* name) {
    int lo = 0, hi = kCharsetNameCount - 1;
    while (lo <= hi) {
        int mid = (lo + hi) / 2;
        int c = std::strcmp(kCharsetNames[mid].name, name);
        if (c == 0) return kCharsetNames[mid].codePage;
        if (c < 0)
            lo = mid + 1;
        else
            hi = mid - 1;
    }
    return 0;
}

// Equality where only the ASCII letters match regardless of case.
bool equalsAsciiIgnoreCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        unsigned char x = static_cast<unsigned char>(*a), y = static_cast<unsigned char>(*b);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
        if (x != y) return false;
        if (x == 0) return true;
    }
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Charset

void Charset::clear() {
    codePage_ = 0;
    name_.clear();
}

void Charset::setByName(const char* name) {
    if (!name) return;
    // "default" and "x-user-defined" mean no conversion, but only as written here; in another
    // letter case they go through the table like any other name.
    if (std::strcmp(name, "default") == 0 || std::strcmp(name, "x-user-defined") == 0) {
        clear();
        return;
    }
    if (equalsAsciiIgnoreCase(name, "ansi")) {
        setByCodePage(platform::ansiCodePage());
        return;
    }
    if (equalsAsciiIgnoreCase(name, "oem")) {
        setByCodePage(platform::oemCodePage());
        return;
    }
    int codePage = charsetNameToCodePage(name);
    if (codePage == 0) {
        clear();
        return;
    }
    // A code page without a canonical name is kept with an empty name.
    codePage_ = codePage;
    codePageToCharsetName(codePage, name_);
}

void Charset::setByCodePage(int codePage) {
    if (codePageToCharsetName(codePage, name_))
        codePage_ = codePage;
    else
        clear();
}

// ---------------------------------------------------------------------------------------------
// Lookups

int charsetNameToCodePage(const char* name) {
    if (!name) return 0;
    StringBuffer normalised(name);
    normalised.trim();
    normalised.toLowercase();
    normalised.replaceChar('_', '-');
    if (normalised.getSize() < 3) return 0;
    if (normalised.equals("ansi")) return platform::ansiCodePage();
    return findName(normalised.getString());
}

bool isKnownCharsetName(const char* name) {
    return charsetNameToCodePage(name) != 0;
}

bool codePageToCharsetName(int codePage, StringBuffer& out) {
    out.clear();
    const CodePageEntry* e = findCodePage(codePage);
    if (!e || !e->canonicalName) return false;
    out.append(e->canonicalName);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Listings

int charsetNameCount() {
    return kCharsetNameCount;
}

const char* charsetNameAt(int i, int* codePage) {
    if (i < 0 || i >= kCharsetNameCount) {
        if (codePage) *codePage = 0;
        return nullptr;
    }
    if (codePage) *codePage = kCharsetNames[i].codePage;
    return kCharsetNames[i].name;
}

int canonicalNameCount() {
    int n = 0;
    for (const CodePageEntry& e : kCodePageRows)
        if (e.canonicalName) ++n;
    return n;
}

const char* canonicalNameAt(int i, int* codePage) {
    if (i >= 0) {
        for (const CodePageEntry& e : kCodePageRows) {
            if (!e.canonicalName) continue;
            if (i-- == 0) {
                if (codePage) *codePage = e.codePage;
                return e.canonicalName;
            }
        }
    }
    if (codePage) *codePage = 0;
    return nullptr;
}

CodePageConversion codePageConversionKind(int codePage) {
    const CodePageEntry* e = findCodePage(codePage);
    return e ? e->conversion : CodePageConversion::kNone;
}
