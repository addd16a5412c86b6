// setOutputType builds the frame queue from the sensor info and the device's sizes.
#include "camera/scripted_parts.hpp"

namespace camtest {
namespace {

class Queue : public ::testing::Test {
protected:
    // The geometry of the four-phase 240 x 180 device.
    void SetUp() override
    {
        ASSERT_EQ(cam.attach(240, 180, {2, 240, 720}, {2, 240, 180}), 0);
        cam.sens->frame_count = 4;
    }
    CameraProbe cam;
};

void expectFormat(TelmoraFrameBuffer* b, FrameType plane, uint32_t w, uint32_t h, FrameType type)
{
    FrameDataFormat f{};
    ASSERT_EQ(b->getFormat(plane, f), 0);
    EXPECT_EQ(f.width, w);
    EXPECT_EQ(f.height, h);
    EXPECT_EQ(f.type, type);
    EXPECT_EQ(f.timestamp, 0u);
}

TEST_F(Queue, RawQueueHoldsTheCaptureAndThreeRawFrames)
{
    ASSERT_EQ(cam.setOutputType(RAW), 0);
    FrameQueue* q = cam.frameQueue();
    ASSERT_NE(q, nullptr);
    expectFormat(q->cache.get(), CACHE, 240, 1440, CACHE);
    EXPECT_EQ(q->cache->format.width * q->cache->format.height, 345600u);
    EXPECT_EQ(q->size.width, 240);
    EXPECT_EQ(q->size.height, 720);
    EXPECT_EQ(q->node_count, 3);
    EXPECT_EQ(q->ready_count, 0);
    EXPECT_EQ(q->ready_limit, 3);
    ASSERT_EQ(q->nodes->registry.size(), 3u);
    for (auto& n : q->nodes->registry) {
        expectFormat(n->buffer.get(), RAW, 240, 720, RAW);
        EXPECT_EQ(n->buffer->getData(DEPTH), nullptr);
    }
    // Each new node went on top of the free stack.
    EXPECT_EQ(q->nodes->free_head, q->nodes->registry[2].get());
    EXPECT_EQ(q->nodes->free_head->next, q->nodes->registry[1].get());
    EXPECT_EQ(q->nodes->registry[1]->next, q->nodes->registry[0].get());
    EXPECT_EQ(q->nodes->registry[0]->next, nullptr);
    EXPECT_EQ(q->nodes->ready_head, nullptr);
    EXPECT_EQ(q->nodes->ready_tail, nullptr);
    EXPECT_EQ(cam.getCameraInfo().type, RAW);
}

TEST_F(Queue, DepthQueueHoldsThreeDepthFrames)
{
    ASSERT_EQ(cam.setOutputType(DEPTH), 0);
    FrameQueue* q = cam.frameQueue();
    expectFormat(q->cache.get(), CACHE, 240, 1440, CACHE);
    EXPECT_EQ(q->size.height, 180);
    ASSERT_EQ(q->nodes->registry.size(), 3u);
    for (auto& n : q->nodes->registry) {
        expectFormat(n->buffer.get(), DEPTH, 240, 180, DEPTH);
        expectFormat(n->buffer.get(), CONFIDENCE, 240, 180, CONFIDENCE);
        EXPECT_NE(n->buffer->getData(AMPLITUDE), n->buffer->getData(CONFIDENCE));
    }
}

TEST_F(Queue, UnsupportedTypeKeepsThePreviousQueue)
{
    ASSERT_EQ(cam.setOutputType(RAW), 0);
    FrameQueue* before = cam.frameQueue();
    EXPECT_EQ(cam.setOutputType(CONFIDENCE), -1);
    EXPECT_EQ(cam.frameQueue(), before);
    EXPECT_EQ(cam.getCameraInfo().type, CONFIDENCE);
    EXPECT_EQ(cam.setOutputType(CACHE), -1);
    EXPECT_EQ(cam.frameQueue(), before);
}

TEST_F(Queue, EachCallReplacesTheQueueButNotWhileStreaming)
{
    ASSERT_EQ(cam.setOutputType(RAW), 0);
    FrameQueue* first = cam.frameQueue();
    ASSERT_EQ(cam.start(DEPTH), 0);
    FrameQueue* streaming = cam.frameQueue();
    EXPECT_NE(streaming, first);
    EXPECT_EQ(cam.setOutputType(RAW), -1);
    EXPECT_EQ(cam.frameQueue(), streaming);
    EXPECT_EQ(cam.getCameraInfo().type, DEPTH);
    EXPECT_EQ(cam.stop(), 0);
    EXPECT_EQ(cam.frameQueue(), streaming);  // stop keeps the queue
}

}  // namespace
}  // namespace camtest
