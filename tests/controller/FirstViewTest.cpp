#include <gtest/gtest.h>

#include <cstddef>
#include <map>

#include "ControllerTestSupport.h"
#include "controller/FirstView.h"
#include "panorama/PicManager.h"

using namespace controllertest;

namespace {

class FirstView : public ControllerFixture<> {
 protected:
  // The photographs the shown view holds larger than their previews, with
  // their image sizes, by ID.
  std::map<int, cv::Size> enlarged() const {
    std::map<int, cv::Size> sizes;
    for (const auto& picture : controller->panorama()->pictures) {
      if (!picture->previewIsCurrent()) {
        int width = 0;
        int height = 0;
        double pitch = 0.0;
        picture->currentSize(&width, &height, &pitch);
        sizes[picture->id] = cv::Size(width, height);
      }
    }
    return sizes;
  }

  // What keepDecodesForView keeps for the camera now, with the sizes.
  std::map<int, cv::Size> chosen(std::size_t maxBytes) const {
    const auto& pictures = controller->panorama()->pictures;
    for (const auto& picture : pictures) {
      picture->keepDecodeAt = 0.0;
    }
    std::map<int, cv::Size> sizes;
    for (Picture* picture : keepDecodesForView(controller->camera(), pictures, maxBytes)) {
      sizes[picture->id] = picture->keptSize();
    }
    for (const auto& picture : pictures) {
      picture->keepDecodeAt = 0.0;
    }
    return sizes;
  }
};

}  // namespace

// The open keeps, of the photographs it decodes, exactly those the refined
// view then shows, at exactly the sizes the refinement loads them at; a
// byte bound leaves out whole images, the nearest stay.
TEST_F(FirstView, KeepsWhatTheRefinedViewLoadsWithinTheByteBound) {
  ASSERT_NO_FATAL_FAILURE(openSample());
  const std::map<int, cv::Size> shown = enlarged();
  ASSERT_GT(shown.size(), 1u);
  EXPECT_EQ(chosen(std::size_t{1} << 30), shown);

  // Another view: the choice follows the camera (the first view's
  // photographs near it stay loaded as well).
  controller->setCameraData(2.0, 1.2, 35.0);
  controller->refine();
  const std::map<int, cv::Size> now = enlarged();
  const std::map<int, cv::Size> there = chosen(std::size_t{1} << 30);
  ASSERT_FALSE(there.empty());
  EXPECT_NE(there, shown);
  for (const auto& [id, size] : there) {
    ASSERT_EQ(now.count(id), 1u) << "photograph " << id;
    EXPECT_EQ(now.at(id), size) << "photograph " << id;
  }

  std::size_t smallest = SIZE_MAX;
  for (const auto& [id, size] : there) {
    smallest = std::min(smallest, static_cast<std::size_t>(size.area()) * 3);
  }
  const std::map<int, cv::Size> one = chosen(smallest);
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one.begin()->second.area() * 3, static_cast<int>(smallest));
  EXPECT_TRUE(chosen(smallest - 1).empty());
}
