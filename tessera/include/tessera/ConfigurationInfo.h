#pragma once
#include <string>
#include <vector>

#include "Export.h"

namespace TESSERA {

// One configuration item of a message-schema reader, addressed by a configuration identifier:
// six small numbers (configuration type, four tree levels, leaf) written either as six
// decimal numbers 1-9 separated by dots ("2.2.1.1.1.4") or as twelve hex digits
// ("020201010104"). OidAndValue holds the nested TLV the reader expects (E2.E1.E1.E1.C4 for
// the example) around the value.
class SDK_EXPORT ConfigurationInfo {
  public:
    // A malformed identifier gives configType 0 and an empty OidAndValue.
    static ConfigurationInfo fromASN1Oid(std::string OidPath);
    static ConfigurationInfo fromASN1Oid(std::string OidPath, std::string Value);  // hex text
    static ConfigurationInfo fromASN1Oid(std::string OidPath, std::vector<unsigned char> Value);

    // True when the item addresses something: a non-empty OidAndValue.
    bool valid() const;

    unsigned char configType = 0;
    std::vector<unsigned char> OidAndValue;
};

// Wraps data in one TLV element per tag of the dotted path (tags in hex), the first tag
// outermost: BuildTagData("E2.C4", {01}) gives E2 03 C4 01 01. Each length covers exactly its
// contents (long forms from 128 bytes on).
SDK_EXPORT std::vector<unsigned char> BuildTagData(std::string tagNode,
                                                   std::vector<unsigned char> data);

}  // namespace TESSERA
