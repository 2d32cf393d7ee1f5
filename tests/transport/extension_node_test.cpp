// The extension-node search against a scripted topology whose every call can fail on its own:
// a failed or empty node count, a node whose type or control cannot be had, and probe answers
// other than S_OK.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/capture_system.h"
#include "platform/guid.h"
#include "transport/bound_device.h"
#include "transport/extension_unit.h"

namespace velkor::transport {
namespace {

// What the scripted topology answers for one node. A failing call still writes its output, so
// a search that ignores the result code is seen to use it.
struct ScriptedNode {
  HResult typeResult = hr::kOk;
  Guid type = kNodeTypeDevSpecific;
  HResult createResult = hr::kOk;
  HResult probeResult = hr::kOk;
};

// What the search did to the scripted objects.
struct Calls {
  std::vector<std::uint32_t> typeReads;
  std::vector<std::uint32_t> probedNodes;
  std::vector<KsPropertyNode> probes;
  int liveObjects = 0;  // topologies and node controls not yet released
};

class ScriptedNodeControl : public KsControl {
 public:
  ScriptedNodeControl(Calls& calls, std::uint32_t node, HResult answer)
      : calls_(calls), node_(node), answer_(answer) {
    ++calls_.liveObjects;
  }
  ~ScriptedNodeControl() override { --calls_.liveObjects; }
  HResult KsProperty(const KsPropertyNode* property, std::uint32_t, void*, std::uint32_t,
                     std::uint32_t*) override {
    calls_.probedNodes.push_back(node_);
    calls_.probes.push_back(*property);
    return answer_;
  }

 private:
  Calls& calls_;
  std::uint32_t node_;
  HResult answer_;
};

class ScriptedTopology : public KsTopology {
 public:
  ScriptedTopology(Calls& calls, HResult countResult, std::uint32_t count,
                   std::vector<ScriptedNode> nodes)
      : calls_(calls), countResult_(countResult), count_(count), nodes_(std::move(nodes)) {
    ++calls_.liveObjects;
  }
  ~ScriptedTopology() override { --calls_.liveObjects; }
  HResult NumNodes(std::uint32_t* count) override {
    *count = count_;
    return countResult_;
  }
  HResult NodeType(std::uint32_t node, Guid* type) override {
    calls_.typeReads.push_back(node);
    *type = nodes_.at(node).type;
    return nodes_.at(node).typeResult;
  }
  HResult CreateNodeControl(std::uint32_t node, std::unique_ptr<KsControl>* control) override {
    *control = std::make_unique<ScriptedNodeControl>(calls_, node, nodes_.at(node).probeResult);
    return nodes_.at(node).createResult;
  }

 private:
  Calls& calls_;
  HResult countResult_;
  std::uint32_t count_;
  std::vector<ScriptedNode> nodes_;
};

class ScriptedFilter : public CaptureFilter {
 public:
  ScriptedFilter(Calls& calls, HResult countResult, std::uint32_t count,
                 std::vector<ScriptedNode> nodes)
      : calls_(calls), countResult_(countResult), count_(count), nodes_(std::move(nodes)) {}
  HResult QueryControl(std::unique_ptr<KsControl>*) override { return hr::kNoInterface; }
  HResult QueryTopology(std::unique_ptr<KsTopology>* topology) override {
    *topology = std::make_unique<ScriptedTopology>(calls_, countResult_, count_, nodes_);
    return hr::kOk;
  }

 private:
  Calls& calls_;
  HResult countResult_;
  std::uint32_t count_;
  std::vector<ScriptedNode> nodes_;
};

class ScriptedNodeSearch : public ::testing::Test {
 protected:
  void SetUp() override { boundDevice = BoundDevice{}; }
  void TearDown() override { boundDevice = BoundDevice{}; }

  // Binds a filter whose topology reports count nodes (answering countResult) of which the
  // first nodes.size() are scripted, and runs the search from node id 77.
  bool Search(HResult countResult, std::uint32_t count, std::vector<ScriptedNode> nodes) {
    boundDevice.filter =
        std::make_unique<ScriptedFilter>(calls_, countResult, count, std::move(nodes));
    node_ = 77;
    return FindExtensionNode(&node_);
  }
  bool Search(std::vector<ScriptedNode> nodes) {
    const auto count = static_cast<std::uint32_t>(nodes.size());
    return Search(hr::kOk, count, std::move(nodes));
  }

  Calls calls_;
  std::uint32_t node_ = 77;
};

TEST_F(ScriptedNodeSearch, NoNodesOrAFailedCountReadFindsNothingAndProbesNothing) {
  EXPECT_FALSE(Search(hr::kOk, 0, {ScriptedNode{}}));
  EXPECT_FALSE(Search(hr::kFail, 1, {ScriptedNode{}}));
  EXPECT_FALSE(Search(hr::kDeviceNotConnected, 1, {ScriptedNode{}}));

  EXPECT_EQ(node_, 77u);
  EXPECT_TRUE(calls_.typeReads.empty());
  EXPECT_TRUE(calls_.probedNodes.empty());
  EXPECT_EQ(calls_.liveObjects, 0);  // each topology was released
}

TEST_F(ScriptedNodeSearch, NodeWhoseTypeOrControlCannotBeHadIsPassedOverForTheNext) {
  ScriptedNode typeFails;
  typeFails.typeResult = hr::kFail;
  ScriptedNode controlFails;
  controlFails.createResult = hr::kNoInterface;
  ScriptedNode answers;

  EXPECT_TRUE(Search({typeFails, controlFails, answers}));

  EXPECT_EQ(node_, 2u);
  EXPECT_EQ(calls_.typeReads, (std::vector<std::uint32_t>{0, 1, 2}));
  EXPECT_EQ(calls_.probedNodes, (std::vector<std::uint32_t>{2}));
  EXPECT_EQ(calls_.liveObjects, 0);
}

TEST_F(ScriptedNodeSearch, ProbeAnsweredWithAnySuccessCodeCountsAndAFailureDoesNot) {
  ScriptedNode refuses;
  refuses.probeResult = hr::kNotFound;
  ScriptedNode answersFalse;
  answersFalse.probeResult = hr::kFalse;

  EXPECT_TRUE(Search({refuses, answersFalse, ScriptedNode{}}));

  EXPECT_EQ(node_, 1u);
  EXPECT_EQ(calls_.probedNodes, (std::vector<std::uint32_t>{0, 1}));
  // Each probe is the set-support query on the node under test, with no data.
  for (std::size_t i = 0; i < calls_.probes.size(); ++i) {
    EXPECT_EQ(calls_.probes[i].set, kVendorPropertySet);
    EXPECT_EQ(calls_.probes[i].id, 0u);
    EXPECT_EQ(calls_.probes[i].flags, kFlagsSetSupport);
    EXPECT_EQ(calls_.probes[i].nodeId, i);
    EXPECT_EQ(calls_.probes[i].reserved, 0u);
  }
  EXPECT_EQ(calls_.liveObjects, 0);
}

}  // namespace
}  // namespace velkor::transport
