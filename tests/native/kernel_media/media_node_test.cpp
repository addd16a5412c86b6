#include "media_node.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <string>

#include "fake_kernel.hpp"
#include "sys/sys.hpp"

using Telmora::sim::FakeKernel;
using Telmora::sim::MediaNode;

namespace {

constexpr uint32_t kNext = MEDIA_ENT_ID_FLAG_NEXT;

class MediaNodeTest : public testing::TestWithParam<std::pair<uint32_t, uint32_t>> {
protected:
    void SetUp() override
    {
        FakeKernel::instance().reset();
        media->addEntity(8, "telmora-quelvanta 10-000c", 81, 3)  // out of order on purpose
            .addEntity(1, "csi2", 81, 1, 6)
            .addEntity(2, std::string(40, 'n'), 81, 9)
            .addEntity(2, "rp1-cfe-csi2_ch0", 81, 2);  // replaces
        FakeKernel::instance().charDevice("/dev/media0", 245, 0, media);
        fd = Telmora::sys::open("/dev/media0", O_RDWR);
    }
    void TearDown() override { Telmora::sys::close(fd); }

    // The id answered, or 0 for EINVAL.
    uint32_t enumerate(uint32_t id)
    {
        desc = media_entity_desc{};
        desc.id = id;
        if (Telmora::sys::ioctl(fd, MEDIA_IOC_ENUM_ENTITIES, &desc) == 0) return desc.id;
        EXPECT_EQ(errno, EINVAL);
        return 0;
    }

    int link(uint32_t source, uint16_t source_pad, uint32_t sink)
    {
        media_link_desc l{};
        l.source = {source, source_pad, MEDIA_PAD_FL_SOURCE, {}};
        l.sink = {sink, 0, MEDIA_PAD_FL_SINK, {}};
        l.flags = MEDIA_LNK_FL_ENABLED;
        return Telmora::sys::ioctl(fd, MEDIA_IOC_SETUP_LINK, &l);
    }

    std::shared_ptr<MediaNode> media = std::make_shared<MediaNode>();
    media_entity_desc desc{};
    int fd = -1;
};

TEST_P(MediaNodeTest, Enumeration) { EXPECT_EQ(enumerate(GetParam().first), GetParam().second); }

INSTANTIATE_TEST_SUITE_P(Ids, MediaNodeTest,
                         testing::Values(std::make_pair(kNext | 0, 1u), std::make_pair(kNext | 1, 2u),
                                         std::make_pair(kNext | 2, 8u), std::make_pair(kNext | 5, 8u),
                                         std::make_pair(kNext | 8, 0u), std::make_pair(2u, 2u),
                                         std::make_pair(0u, 0u), std::make_pair(3u, 0u)));

TEST_F(MediaNodeTest, EntityRecordAndNameLimit)
{
    ASSERT_EQ(enumerate(kNext | 2), 8u);
    EXPECT_STREQ(desc.name, "telmora-quelvanta 10-000c");
    EXPECT_EQ(desc.pads, 1);
    EXPECT_EQ(desc.dev.major * 100 + desc.dev.minor, 8103u);
    media->addEntity(3, std::string(40, 'n'), 81, 4);
    ASSERT_EQ(enumerate(3), 3u);
    EXPECT_EQ(std::string(desc.name), std::string(31, 'n'));
}

TEST_F(MediaNodeTest, LinksRecordedForKnownPadsAndFaultsInjected)
{
    EXPECT_EQ(link(1, 4, 2), 0);
    for (auto bad : {std::make_pair(1u, 6), std::make_pair(3u, 0), std::make_pair(7u, 0)}) {
        EXPECT_EQ(link(bad.first, static_cast<uint16_t>(bad.second), bad.first == 3 ? 2 : 9), -1);
        EXPECT_EQ(errno, EINVAL);
    }
    FakeKernel::instance().failIoctl(MEDIA_IOC_SETUP_LINK, EBUSY).failIoctl(MEDIA_IOC_ENUM_ENTITIES, EINTR, 2);
    EXPECT_EQ(link(1, 4, 2), -1);
    const auto links = media->links();
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0].source.entity * 10 + links[0].source.index, 14u);
    EXPECT_EQ(links[0].sink.entity * 10 + links[0].sink.index, 20u);
    EXPECT_EQ(links[0].flags, static_cast<uint32_t>(MEDIA_LNK_FL_ENABLED));

    EXPECT_EQ(Telmora::sys::ioctl(fd, MEDIA_IOC_ENUM_ENTITIES, &desc), -1);
    EXPECT_EQ(errno, EINTR);
    EXPECT_EQ(Telmora::sys::ioctl(fd, MEDIA_IOC_ENUM_ENTITIES, &desc), -1);
    EXPECT_EQ(enumerate(kNext), 1u);
}

}  // namespace
