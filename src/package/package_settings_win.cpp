#include "package/package_settings.h"

#include "text/language.h"

SetupInfo& ActiveSetupInfo(PackageSettings& settings)
{
    return IsJapaneseUi() ? settings.japanese : settings.english;
}
