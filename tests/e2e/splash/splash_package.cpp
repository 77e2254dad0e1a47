#include "tests/e2e/splash/splash_package.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "tests/e2e/harness/scenario.h"
#include "tests/win/ui/splash_test_picture.h"
#include "tools/mkpackage/manifest.h"
#include "tools/mkpackage/product_builder.h"

namespace {

mkpackage::SettingsBlock Settings(const ProductSpec& product)
{
    mkpackage::SettingsBlock block;
    block.productName = product.name;
    block.productVersion = product.version;
    block.splashNote = product.note;
    block.installFolder = "%ProgramFiles%\\" + product.name;
    block.osMask = static_cast<int32_t>(product.osMask);
    block.okIfNotAdmin = 1;
    return block;
}

}  // namespace

std::string BuildSetup(const std::string& folder, const ProductSpec& product)
{
    const std::string content = folder + "\\content";
    CreateDirectoryA(content.c_str(), nullptr);
    EXPECT_TRUE(WriteFileBytes(content + "\\readme.txt", "The sample product.\r\n"));

    mkpackage::Manifest manifest;
    manifest.content = mkpackage::PathFromUtf8(content);
    manifest.english = Settings(product);
    manifest.japanese = Settings(product);
    if (product.withPicture) {
        const std::string picture = folder + "\\picture.bmp", mask = folder + "\\mask.bmp";
        EXPECT_TRUE(WriteBitmapFile(picture, kTestPictureWidth, kTestPictureHeight, TestPicturePixel));
        EXPECT_TRUE(WriteBitmapFile(mask, kTestPictureWidth, kTestPictureHeight, TestMaskPixel));
        manifest.splash = mkpackage::SplashFiles{mkpackage::PathFromUtf8(picture), mkpackage::PathFromUtf8(mask)};
    }
    std::vector<uint8_t> package;
    mkpackage::BuildSummary summary;
    mkpackage::Diagnostics diagnostics;
    if (!mkpackage::BuildPackage(manifest, package, summary, diagnostics)) {
        ADD_FAILURE() << "package: " << (diagnostics.errors.empty() ? "" : diagnostics.errors.front());
        return {};
    }
    const std::string carrier = ReadFileBytes(EnginePath());
    std::vector<uint8_t> setup;
    std::string error;
    if (!mkpackage::EmbedPackage(std::vector<uint8_t>(carrier.begin(), carrier.end()), package, setup, error)) {
        ADD_FAILURE() << "embedding: " << error;
        return {};
    }
    const std::string path = folder + "\\setup.exe";
    EXPECT_TRUE(WriteFileBytes(path, std::string(setup.begin(), setup.end())));
    return path;
}

std::string PlaceEngineCopy(const std::string& folder, const std::string& fileName)
{
    const std::string path = folder + "\\" + fileName;
    EXPECT_TRUE(CopyFileA(EnginePath().c_str(), path.c_str(), FALSE)) << path;
    return path;
}
