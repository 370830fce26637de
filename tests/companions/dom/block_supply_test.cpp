// Blocks made ready on the supply's thread reach the tree whole and are never touched again.
#include "companions/dom/block_supply.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "companions/dom/dom_tree.h"

namespace tarvex::companions::dom {
namespace {

// Each block is filled the moment it is taken and checked after all were taken: a block handed
// out twice, one of another size (the sanitizer builds see the overrun) or one the supply's
// thread still writes into shows up as a byte that is not its own.
TEST(block_supply, hands_out_each_block_once_of_its_size_and_then_leaves_it_alone) {
  const std::size_t sizes[] = {std::size_t{8} << 20, 4096 * 3 + 100, std::size_t{1} << 20};
  std::vector<std::unique_ptr<std::byte[]>> blocks;
  std::vector<std::size_t> taken;
  {
    BlockSupply supply;
    for (int i = 0; i < 18; ++i) {
      const std::size_t size = sizes[i % 3];
      blocks.push_back(supply.take(size));
      std::memset(blocks.back().get(), i + 1, size);
      taken.push_back(size);
    }
  }  // blocks outlive their supply
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(blocks[i].get());
    std::size_t wrong = 0;
    for (std::size_t at = 0; at < taken[i]; ++at) wrong += bytes[at] != i + 1;
    EXPECT_EQ(wrong, 0u) << "block " << i;
  }
}

// Enough elements, attributes and text for several chunks and arena blocks, so that most of
// them were made ready by the supply's thread: the markup holds every item where it was put.
TEST(block_supply, a_tree_of_many_blocks_writes_every_item_it_was_given) {
  DomTree tree;
  const NodeId root = tree.new_element("r");
  tree.append(kDocumentNode, root);
  const std::string filler(60, 'x');
  std::string expected = "<r>\n";
  for (int i = 0; i < 200'000; ++i) {
    const std::string number = std::to_string(i);
    const NodeId element = tree.new_element("a");
    tree.append(root, element);
    tree.set_attribute(element, "n", number);
    tree.set_text(element, number + filler);
    expected += "  <a n=\"" + number + "\">" + number + filler + "</a>\n";
  }
  expected += "</r>";
  contracts::StringSink sink;
  tree.write_markup(sink);
  const std::string markup = std::move(sink).take();
  ASSERT_EQ(markup.size(), expected.size());
  const auto differs = std::mismatch(markup.begin(), markup.end(), expected.begin()).first;
  EXPECT_TRUE(markup == expected) << "first difference at byte " << differs - markup.begin();
}

}  // namespace
}  // namespace tarvex::companions::dom
