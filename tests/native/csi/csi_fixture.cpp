#include "csi_fixture.hpp"

#include <fcntl.h>

#include <string>

#include "sys/sys.hpp"

namespace csitest {

using namespace Telmora;

std::unique_ptr<TelmoraTOFCSISensor> sensorAsOpened(const sim::BoardNodes& board)
{
    auto s = std::make_unique<TelmoraTOFCSISensor>(board.platform, board.video_path.c_str());
    s->fd = sys::open(board.video_path.c_str(), O_RDWR);
    s->buffer_type = board.platform == PLATFORM_RADXA_ROCK ? 9 : 1;
    if (board.bridge) s->subdev_fds[s->subdev_count++] = sys::open("/dev/v4l-subdev0", O_RDWR);
    if (board.sensor_subdev) {
        s->subdev_index = s->subdev_count;
        s->subdev_fds[s->subdev_count++] = sys::open("/dev/v4l-subdev1", O_RDWR);
    }
    s->i2c_fd = sys::open(("/dev/i2c-" + std::to_string(board.i2c_bus)).c_str(), O_RDWR);
    s->info.width = board.width;
    s->info.height = board.height;
    s->info.bit_width = 12;
    s->info.bpp = 2;
    if (board.width == 240 && board.height == 180) s->frame_count = 4;
    return s;
}

}  // namespace csitest
