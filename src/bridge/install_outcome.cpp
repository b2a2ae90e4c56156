#include "bridge/install_outcome.h"

#include <array>
#include <utility>

#include "catalogue/catalogue_tables.h"
#include "support/json.h"

namespace bright_setup {
namespace {

struct ResultRow {
  ProductResult result;
  std::string_view word;
  bool installed;
  bool failed;
};

// Started: the stop came while its installer still ran. The program did not
// see it through, so the product is neither counted installed nor offered
// again; the page shows it as not reached.
constexpr std::array<ResultRow, 7> kResultTable{{
    {ProductResult::Installed, "installed", true, false},
    {ProductResult::Skipped, "alreadyInstalled", true, false},
    {ProductResult::DownloadFailed, "downloadFailed", false, true},
    {ProductResult::Damaged, "damaged", false, true},
    {ProductResult::StartFailed, "startFailed", false, true},
    {ProductResult::Started, "notRun", false, false},
    {ProductResult::NotRun, "notRun", false, false},
}};

const ResultRow* FindRow(ProductResult result) {
  for (const ResultRow& row : kResultTable) {
    if (row.result == result) return &row;
  }
  return nullptr;
}

}  // namespace

std::string_view ProductResultWord(ProductResult result) {
  const ResultRow* row = FindRow(result);
  return row != nullptr ? row->word : "notInstalled";
}

bool ProductInstalled(ProductResult result) {
  const ResultRow* row = FindRow(result);
  return row != nullptr && row->installed;
}

bool ProductFailed(ProductResult result) {
  const ResultRow* row = FindRow(result);
  return row == nullptr || row->failed;
}

std::string_view RunResultWord(const RunOutcome& outcome) {
  if (outcome.stopped) return "stopped";
  for (const ProductOutcome& product : outcome.products) {
    // A run that was not stopped reaches every product; one it did not reach
    // (the program closed under it) is not a success either.
    if (!ProductInstalled(product.result)) return "failed";
  }
  return "installed";
}

std::string InstallOutcomeDocument(const RunOutcome* outcome) {
  using QuickKit::JsonNode;
  JsonNode root(QuickKit::JsonObject);
  root.Append(JsonNode("result", outcome != nullptr ? RunResultWord(*outcome) : "none"));
  root.Append(JsonNode("restartNeeded", 0));
  JsonNode products(QuickKit::JsonArray);
  products.SetName("products");
  if (outcome != nullptr) {
    for (const ProductOutcome& product : outcome->products) {
      JsonNode entry(QuickKit::JsonObject);
      entry.Append(JsonNode("id", ProductId(product.productIndex)));
      entry.Append(JsonNode("result", ProductResultWord(product.result)));
      products.Append(entry);
    }
  }
  root.Append(products);
  return root.WriteFormatted();
}

std::vector<std::int32_t> FailedProducts(const RunOutcome& outcome) {
  std::vector<std::int32_t> failed;
  for (const ProductOutcome& product : outcome.products) {
    if (ProductFailed(product.result)) failed.push_back(product.productIndex);
  }
  return failed;
}

}  // namespace bright_setup
