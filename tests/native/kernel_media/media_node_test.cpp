#include "media_node.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

#include "fake_kernel.hpp"
#include "sys/sys.hpp"

using Telmora::sim::FakeKernel;
using Telmora::sim::MediaNode;
namespace sys = Telmora::sys;

namespace {

class MediaNodeTest : public testing::Test {
protected:
    void SetUp() override
    {
        FakeKernel::instance().reset();
        // Added out of order: enumeration must follow the ids.
        media->addEntity(8, "telmora-quelvanta 10-000c", 81, 3, 1)
            .addEntity(1, "csi2", 81, 1, 6)
            .addEntity(2, "rp1-cfe-csi2_ch0", 81, 2, 1);
        FakeKernel::instance().charDevice("/dev/media0", 245, 0, media);
        fd = sys::open("/dev/media0", O_RDWR);
        ASSERT_GE(fd, 0);
    }
    void TearDown() override { sys::close(fd); }

    // The entity answering `id`, or -1 with errno set.
    int enumerate(uint32_t id, media_entity_desc& desc)
    {
        std::memset(&desc, 0, sizeof desc);
        desc.id = id;
        return sys::ioctl(fd, MEDIA_IOC_ENUM_ENTITIES, &desc);
    }

    int setupLink(uint32_t source, uint16_t source_pad, uint32_t sink, uint16_t sink_pad)
    {
        media_link_desc link{};
        link.source = {source, source_pad, MEDIA_PAD_FL_SOURCE, {}};
        link.sink = {sink, sink_pad, MEDIA_PAD_FL_SINK, {}};
        link.flags = MEDIA_LNK_FL_ENABLED;
        return sys::ioctl(fd, MEDIA_IOC_SETUP_LINK, &link);
    }

    std::shared_ptr<MediaNode> media = std::make_shared<MediaNode>();
    int fd = -1;
};

struct EnumCase {
    uint32_t asked;
    uint32_t answered;  // 0: EINVAL
};

class MediaEnumeration : public MediaNodeTest, public testing::WithParamInterface<EnumCase> {};

TEST_P(MediaEnumeration, AnswersLikeTheKernel)
{
    media_entity_desc desc;
    const int result = enumerate(GetParam().asked, desc);
    if (GetParam().answered == 0) {
        EXPECT_EQ(result, -1);
        EXPECT_EQ(errno, EINVAL);
    } else {
        ASSERT_EQ(result, 0);
        EXPECT_EQ(desc.id, GetParam().answered);
    }
}

constexpr uint32_t kNext = MEDIA_ENT_ID_FLAG_NEXT;

INSTANTIATE_TEST_SUITE_P(Cases, MediaEnumeration,
                         testing::Values(EnumCase{kNext | 0, 1}, EnumCase{kNext | 1, 2}, EnumCase{kNext | 2, 8},
                                         EnumCase{kNext | 5, 8}, EnumCase{kNext | 8, 0}, EnumCase{kNext | 0xFFFF, 0},
                                         EnumCase{2, 2}, EnumCase{8, 8}, EnumCase{0, 0}, EnumCase{3, 0}));

TEST_F(MediaNodeTest, EntityRecord)
{
    media_entity_desc desc;
    ASSERT_EQ(enumerate(kNext | 2, desc), 0);
    EXPECT_STREQ(desc.name, "telmora-quelvanta 10-000c");
    EXPECT_EQ(desc.pads, 1);
    EXPECT_EQ(desc.dev.major, 81u);
    EXPECT_EQ(desc.dev.minor, 3u);
    ASSERT_EQ(enumerate(1, desc), 0);
    EXPECT_STREQ(desc.name, "csi2");
    EXPECT_EQ(desc.pads, 6);
}

TEST_F(MediaNodeTest, LongNameCutTo31AndReplacedById)
{
    media->addEntity(1, std::string(40, 'n'), 81, 9, 2);
    media_entity_desc desc;
    ASSERT_EQ(enumerate(1, desc), 0);
    EXPECT_EQ(std::string(desc.name), std::string(31, 'n'));
    EXPECT_EQ(desc.dev.minor, 9u);
    EXPECT_EQ(media->entities().size(), 3u);
}

TEST_F(MediaNodeTest, SetupLinkRecordedOnlyForKnownPads)
{
    EXPECT_EQ(setupLink(1, 4, 2, 0), 0);
    errno = 0;
    EXPECT_EQ(setupLink(1, 6, 2, 0), -1);  // csi2 has pads 0..5
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(setupLink(1, 4, 3, 0), -1);  // no entity 3
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(setupLink(7, 0, 2, 0), -1);
    EXPECT_EQ(errno, EINVAL);

    const auto links = media->links();
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0].source.entity, 1u);
    EXPECT_EQ(links[0].source.index, 4);
    EXPECT_EQ(links[0].source.flags, static_cast<uint32_t>(MEDIA_PAD_FL_SOURCE));
    EXPECT_EQ(links[0].sink.entity, 2u);
    EXPECT_EQ(links[0].sink.index, 0);
    EXPECT_EQ(links[0].sink.flags, static_cast<uint32_t>(MEDIA_PAD_FL_SINK));
    EXPECT_EQ(links[0].flags, static_cast<uint32_t>(MEDIA_LNK_FL_ENABLED));
}

TEST_F(MediaNodeTest, InjectedFaultsThenSuccess)
{
    FakeKernel::instance().failIoctl(MEDIA_IOC_ENUM_ENTITIES, EINTR, 2);
    media_entity_desc desc;
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(enumerate(kNext, desc), -1);
        EXPECT_EQ(errno, EINTR);
    }
    ASSERT_EQ(enumerate(kNext, desc), 0);
    EXPECT_EQ(desc.id, 1u);

    FakeKernel::instance().failIoctl(MEDIA_IOC_SETUP_LINK, EBUSY);
    EXPECT_EQ(setupLink(1, 4, 2, 0), -1);
    EXPECT_EQ(errno, EBUSY);
    EXPECT_TRUE(media->links().empty());
}

TEST_F(MediaNodeTest, OtherRequestsAndNullArguments)
{
    EXPECT_EQ(sys::ioctl(fd, MEDIA_IOC_ENUM_LINKS, nullptr), -1);
    EXPECT_EQ(errno, ENOTTY);
    EXPECT_EQ(sys::ioctl(fd, MEDIA_IOC_ENUM_ENTITIES, nullptr), -1);
    EXPECT_EQ(errno, EFAULT);
}

}  // namespace
