#include "i18n/error_catalogue.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace kiln::i18n {
namespace {

std::string MessageOf(uint32_t model, uint32_t code) {
  const char* message = FindErrorMessage(model, code);
  return message != nullptr ? message : "<none>";
}

TEST(ErrorCatalogue, FramedByStartRowAndTerminator) {
  const struct {
    ErrorCatalogue catalogue;
    std::size_t rows;
  } cases[] = {
      {PhotoPrinterCatalogue(), 68}, {DualPrinterCatalogue(), 91}, {CardPrinterCatalogue(), 84}};
  for (const auto& c : cases) {
    ASSERT_EQ(c.catalogue.size(), c.rows + 2);
    EXPECT_EQ(c.catalogue.front().code, 0u);
    EXPECT_STREQ(c.catalogue.front().message, "");
    EXPECT_EQ(c.catalogue.back().code, kCatalogueEnd);
    for (const ErrorRow& row : c.catalogue.subspan(1, c.rows)) {
      EXPECT_NE(row.code, 0u);
      EXPECT_NE(row.code, kCatalogueEnd);
      EXPECT_STRNE(row.message, "") << std::hex << row.code;
    }
  }
}

TEST(ErrorCatalogue, EveryCatalogueOpensWithTheSameLinkAndHostRows) {
  const ErrorCatalogue photo = PhotoPrinterCatalogue();
  for (const ErrorCatalogue other : {DualPrinterCatalogue(), CardPrinterCatalogue()}) {
    for (std::size_t i = 1; i <= 29; ++i) {
      EXPECT_EQ(other[i].code, photo[i].code) << i;
      EXPECT_STREQ(other[i].message, photo[i].message) << i;
    }
  }
  EXPECT_EQ(photo[1].code, 0x00000013u);
  EXPECT_STREQ(photo[1].message, "Write pointer is invalid.");
  EXPECT_EQ(photo[29].code, 0x11000008u);
  EXPECT_STREQ(photo[29].message, "System resource is insufficient to print this page.");
}

TEST(ErrorCatalogue, FamilyRowsStartAndEndInOrder) {
  EXPECT_EQ(PhotoPrinterCatalogue()[30].code, 0x000100FEu);
  EXPECT_STREQ(PhotoPrinterCatalogue()[30].message, "Paper type mismatch!");
  EXPECT_EQ(PhotoPrinterCatalogue()[68].code, 0x00080104u);
  EXPECT_EQ(DualPrinterCatalogue()[33].code, 0x000302FEu);
  EXPECT_EQ(DualPrinterCatalogue()[91].code, 0x00007539u);
  EXPECT_STREQ(DualPrinterCatalogue()[91].message, "Printer is at Mobile Mode!");
  EXPECT_STREQ(CardPrinterCatalogue()[30].message, "Card mismatch.");
  EXPECT_EQ(CardPrinterCatalogue()[84].code, 0x00080104u);
}

TEST(ErrorCatalogue, CatalogueChosenBySerialNumber) {
  for (uint32_t model : {0u, 1u, 7u, 18u}) {
    EXPECT_EQ(ErrorCatalogueForModel(model).data(), PhotoPrinterCatalogue().data()) << model;
  }
  for (uint32_t model : {20u, 21u, 37u, 38u}) {
    EXPECT_EQ(ErrorCatalogueForModel(model).data(), CardPrinterCatalogue().data()) << model;
  }
  for (uint32_t model : {19u, 22u, 27u, 36u, 39u}) {
    EXPECT_EQ(ErrorCatalogueForModel(model).data(), DualPrinterCatalogue().data()) << model;
  }
}

TEST(FindErrorMessage, ReadTimeOutIsTheSameForEveryModel) {
  for (uint32_t model = 1; model <= 38; ++model) {
    EXPECT_EQ(MessageOf(model, 0x00000026), "ReadFile time out.") << model;
  }
}

TEST(FindErrorMessage, ChecksumErrorDiffersByFamily) {
  EXPECT_EQ(MessageOf(7, 0x00030302), "Firmware code check sum error!");
  EXPECT_EQ(MessageOf(27, 0x00030302), "Check sum error - SDRAM!");
  EXPECT_EQ(MessageOf(20, 0x00030302), "Check sum error - SDRAM.");
}

TEST(FindErrorMessage, PaperOutForPhotoAndCardModels) {
  EXPECT_EQ(MessageOf(7, 0x00008000), "Paper out or feeding error.");
  EXPECT_EQ(MessageOf(27, 0x00008000), "Paper out or feeding error.");
  EXPECT_EQ(MessageOf(37, 0x00008000), "Card out or feeding error.");
}

TEST(FindErrorMessage, CodesWithoutRowFindNothing) {
  EXPECT_EQ(FindErrorMessage(7, 0x12345678), nullptr);
  EXPECT_EQ(FindErrorMessage(7, 0), nullptr) << "the start row never matches";
  EXPECT_EQ(FindErrorMessage(27, kCatalogueEnd), nullptr) << "the terminator never matches";
  // Rows of one family only.
  EXPECT_EQ(FindErrorMessage(7, 0x10008000), nullptr);
  EXPECT_EQ(MessageOf(27, 0x10008000), "Paper out or paper low.");
  EXPECT_EQ(FindErrorMessage(37, 0x00008008), nullptr);
  EXPECT_EQ(MessageOf(7, 0x11000001), "Can not execute heating table function");
  EXPECT_EQ(FindErrorMessage(27, 0x11000001), nullptr);
}

}  // namespace
}  // namespace kiln::i18n
