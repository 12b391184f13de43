#include "tile_pipeline.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

namespace photocodec {

namespace {

constexpr uint32_t kPadColumns = 32;

bool insideCanvas(const TileSource& source, int64_t x, int64_t y)
{
    return x >= 0 && y >= 0 && x < source.canvasWidth() && y < source.canvasHeight();
}

uint32_t tileIndex(int64_t coordinate, uint32_t size)
{
    return static_cast<uint32_t>(coordinate / size);
}

template <int Bytes>
void copyRun(uint8_t* dst, const uint8_t* src, ptrdiff_t step, uint32_t count)
{
    if (step == Bytes) {
        std::memcpy(dst, src, static_cast<size_t>(count) * Bytes);
        return;
    }
    for (uint32_t i = 0; i < count; ++i) {
        std::memcpy(dst, src, Bytes);
        dst += Bytes;
        src += step;
    }
}

void copyRun(int bytes, uint8_t* dst, const uint8_t* src, ptrdiff_t step, uint32_t count)
{
    switch (bytes) {
    case 1:
        copyRun<1>(dst, src, step, count);
        break;
    case 3:
        copyRun<3>(dst, src, step, count);
        break;
    default:
        copyRun<4>(dst, src, step, count);
        break;
    }
}

// The half-open range of q in [0, limit) for which coefficient * q + offset
// falls in [low, high).
bool solveRange(int coefficient, int64_t offset, int64_t low, int64_t high, int64_t limit, int64_t& first,
                int64_t& end)
{
    if (coefficient > 0) {
        first = low - offset;
        end = high - offset;
    } else {
        first = offset - high + 1;
        end = offset - low + 1;
    }
    first = std::max<int64_t>(first, 0);
    end = std::min<int64_t>(end, limit);
    return first < end;
}

// Copies the part of one decoded tile that the band shows.
void placeTile(const TileSource& source, const Geometry& geometry, const BandPlan& band, uint32_t column,
               uint32_t row, const DecodedTile& tile, const Raster& slot)
{
    const PixelFormat in = source.format();
    const PixelFormat out = geometry.outputFormat(in);
    for (int p = 0; p < in.planeCount(); ++p) {
        const PixelMap m = planeMap(geometry, in, p);
        const int bytes = in.bytesPerPixel(p);
        const int64_t originX = static_cast<int64_t>(column) * source.tileWidth() / in.stepX(p);
        const int64_t originY = static_cast<int64_t>(row) * source.tileHeight() / in.stepY(p);
        const PlaneView& from = tile.planes[static_cast<size_t>(p)];
        const PlaneView to = slot.plane(p);
        const int outStepY = out.stepY(p);
        const int64_t outWidth = subsampled(geometry.width(), out.stepX(p));
        const int64_t firstRow = band.top / outStepY;
        const int64_t endRow = (static_cast<int64_t>(band.top) + band.height + outStepY - 1) / outStepY;
        for (int64_t q = firstRow; q < endRow; ++q) {
            uint8_t* dst = to.row(static_cast<uint32_t>(q - firstRow));
            int64_t first = 0;
            int64_t end = 0;
            const uint8_t* src = nullptr;
            ptrdiff_t step = 0;
            if (m.xx != 0) {
                // The row lies on one source row.
                int64_t y = m.yy * q + m.y0;
                if (y < originY || y >= originY + from.height) {
                    continue;
                }
                if (!solveRange(m.xx, m.x0, originX, originX + from.width, outWidth, first, end)) {
                    continue;
                }
                int64_t x = m.xx * first + m.x0;
                src = from.row(static_cast<uint32_t>(y - originY)) + (x - originX) * bytes;
                step = m.xx * bytes;
            } else {
                // The row runs down one source column.
                int64_t x = m.xy * q + m.x0;
                if (x < originX || x >= originX + from.width) {
                    continue;
                }
                if (!solveRange(m.yx, m.y0, originY, originY + from.height, outWidth, first, end)) {
                    continue;
                }
                int64_t y = m.yx * first + m.y0;
                src = from.row(static_cast<uint32_t>(y - originY)) + (x - originX) * bytes;
                step = m.yx * static_cast<ptrdiff_t>(from.stride);
            }
            copyRun(bytes, dst + first * bytes, src, step, static_cast<uint32_t>(end - first));
        }
    }
}

bool runInMemory(TileSource& source, const Geometry& geometry, BandSink& sink, const std::vector<BandPlan>& bands,
                 const Raster& slot, const PixelFormat& out, std::string& error, bool* sourceFailed)
{
    DecodedTile tile;
    if (!source.decode(0, 0, tile, error) || tile.planes.size() != static_cast<size_t>(source.format().planeCount())) {
        if (error.empty()) {
            error = "the picture came in the wrong format";
        }
        if (sourceFailed != nullptr) {
            *sourceFailed = true;
        }
        return false;
    }
    for (const BandPlan& plan : bands) {
        placeTile(source, geometry, plan, 0, 0, tile, slot);
        Band band;
        band.top = plan.top;
        band.height = plan.height;
        band.paddedColumns = kPadColumns;
        for (int p = 0; p < out.planeCount(); ++p) {
            PlaneView view = slot.plane(p);
            view.height = subsampled(band.height, out.stepY(p));
            band.planes.push_back(view);
        }
        if (!sink.consume(band, error)) {
            return false;
        }
    }
    return sink.finish(error);
}

}  // namespace

WholeImageSource::WholeImageSource(DecodedTile image, const PixelFormat& format)
    : image_(std::move(image)), format_(format)
{
    if (!image_.planes.empty()) {
        width_ = image_.planes[0].width;
        height_ = image_.planes[0].height;
    }
}

std::unique_ptr<WholeImageSource> WholeImageSource::of(std::shared_ptr<Raster> raster)
{
    DecodedTile tile;
    for (int p = 0; p < raster->planeCount(); ++p) {
        tile.planes.push_back(raster->plane(p));
    }
    PixelFormat format = raster->format();
    tile.keepAlive = std::move(raster);
    return std::make_unique<WholeImageSource>(std::move(tile), format);
}

bool WholeImageSource::decode(uint32_t column, uint32_t row, DecodedTile& tile, std::string& error)
{
    if (column != 0 || row != 0 || image_.planes.empty()) {
        error = "no such tile";
        return false;
    }
    tile = image_;
    return true;
}

std::vector<BandPlan> planBands(const TileSource& source, const Geometry& geometry, uint32_t bandRows,
                                std::string& error)
{
    std::vector<BandPlan> bands;
    const PixelMap& m = geometry.map();
    const int64_t w = geometry.width();
    const int64_t h = geometry.height();
    if (w == 0 || h == 0 || source.tileWidth() == 0 || source.tileHeight() == 0) {
        error = "the image is empty";
        return bands;
    }
    auto sourceX = [&](int64_t x, int64_t y) { return m.xx * x + m.xy * y + m.x0; };
    auto sourceY = [&](int64_t x, int64_t y) { return m.yx * x + m.yy * y + m.y0; };
    for (int64_t cx : {int64_t{0}, w - 1}) {
        for (int64_t cy : {int64_t{0}, h - 1}) {
            if (!insideCanvas(source, sourceX(cx, cy), sourceY(cx, cy))) {
                error = "the image's transformations reach outside it";
                return bands;
            }
        }
    }
    if (static_cast<uint64_t>(source.columns()) * source.tileWidth() < source.canvasWidth() ||
        static_cast<uint64_t>(source.rows()) * source.tileHeight() < source.canvasHeight()) {
        error = "the tiles do not cover the image";
        return bands;
    }

    const bool swap = geometry.swapsAxes();
    // The tiles across one output row.
    int64_t a = swap ? sourceY(0, 0) : sourceX(0, 0);
    int64_t b = swap ? sourceY(w - 1, 0) : sourceX(w - 1, 0);
    uint32_t acrossSize = swap ? source.tileHeight() : source.tileWidth();
    uint32_t acrossFirst = tileIndex(std::min(a, b), acrossSize);
    uint32_t acrossLast = tileIndex(std::max(a, b), acrossSize);

    auto keyOf = [&](int64_t y) {
        return swap ? tileIndex(sourceX(0, y), source.tileWidth()) : tileIndex(sourceY(0, y), source.tileHeight());
    };
    int64_t top = 0;
    while (top < h) {
        uint32_t key = keyOf(top);
        int64_t end = top + 1;
        while (end < h && keyOf(end) == key) {
            ++end;
        }
        std::vector<std::pair<uint32_t, uint32_t>> tiles;
        for (uint32_t i = acrossFirst; i <= acrossLast; ++i) {
            tiles.emplace_back(swap ? key : i, swap ? i : key);
        }
        // Only a source kept whole in memory can be cut finer than its
        // tiles without decoding a tile twice. Band heights stay even so
        // that subsampled chroma rows split with them.
        uint32_t step = source.cheapToRepeat() ? std::max<uint32_t>(2, bandRows & ~1u) : static_cast<uint32_t>(end - top);
        for (int64_t y = top; y < end; y += step) {
            BandPlan band;
            band.top = static_cast<uint32_t>(y);
            band.height = static_cast<uint32_t>(std::min<int64_t>(step, end - y));
            band.tiles = tiles;
            bands.push_back(std::move(band));
        }
        top = end;
    }
    return bands;
}

uint64_t pipelineBandBytes(const TileSource& source, const Geometry& geometry, const PipelineOptions& options)
{
    std::string error;
    std::vector<BandPlan> bands = planBands(source, geometry, options.bandRows, error);
    uint32_t tallest = 0;
    for (const BandPlan& band : bands) {
        tallest = std::max(tallest, band.height);
    }
    PixelFormat out = geometry.outputFormat(source.format());
    uint64_t perBand = 0;
    for (int p = 0; p < out.planeCount(); ++p) {
        perBand += static_cast<uint64_t>(subsampled(geometry.width(), out.stepX(p)) + kPadColumns) *
                   out.bytesPerPixel(p) * subsampled(tallest, out.stepY(p));
    }
    uint64_t slots = std::min<uint64_t>(static_cast<uint64_t>(std::max(1, options.bandsInFlight)), bands.size());
    return perBand * slots;
}

bool runPipeline(TileSource& source, const Geometry& geometry, BandSink& sink, const PipelineOptions& options,
                 std::string& error, bool* sourceFailed)
{
    if (sourceFailed != nullptr) {
        *sourceFailed = false;
    }
    const PixelFormat in = source.format();
    if (!geometry.keepsChromaBlocks(in)) {
        error = "the transformations split chroma blocks";
        return false;
    }
    std::vector<BandPlan> bands = planBands(source, geometry, options.bandRows, error);
    if (bands.empty()) {
        return false;
    }
    const PixelFormat out = geometry.outputFormat(in);
    if (!sink.begin(geometry.width(), geometry.height(), out, error)) {
        return false;
    }

    struct Task {
        size_t band;
        uint32_t column;
        uint32_t row;
    };
    std::vector<Task> tasks;
    uint32_t tallest = 0;
    for (size_t b = 0; b < bands.size(); ++b) {
        tallest = std::max(tallest, bands[b].height);
        for (const auto& tile : bands[b].tiles) {
            tasks.push_back({b, tile.first, tile.second});
        }
    }
    if (source.cheapToRepeat() && source.columns() == 1 && source.rows() == 1) {
        // A picture in memory already (a preview, a thumbnail): its bands
        // are copies, made here one after the other. A thread to make them
        // would cost more than the copies, thumbnail after thumbnail.
        Raster slot;
        if (!slot.allocate(out, geometry.width(), tallest, kPadColumns)) {
            error = "not enough memory for the image's bands";
            return false;
        }
        return runInMemory(source, geometry, sink, bands, slot, out, error, sourceFailed);
    }
    const size_t slotCount = std::min<size_t>(static_cast<size_t>(std::max(1, options.bandsInFlight)), bands.size());
    std::vector<Raster> slots(slotCount);
    for (Raster& slot : slots) {
        if (!slot.allocate(out, geometry.width(), tallest, kPadColumns)) {
            error = "not enough memory for the image's bands";
            return false;
        }
    }

    std::mutex lock;
    std::condition_variable workReady;
    std::condition_variable bandReady;
    size_t nextTask = 0;
    size_t delivered = 0;
    bool failed = false;
    bool decodeFailed = false;
    std::string failure;
    std::vector<size_t> remaining(bands.size());
    for (size_t b = 0; b < bands.size(); ++b) {
        remaining[b] = bands[b].tiles.size();
    }

    auto work = [&]() {
        std::unique_lock<std::mutex> guard(lock);
        for (;;) {
            if (failed || nextTask == tasks.size()) {
                return;
            }
            const Task task = tasks[nextTask];
            if (task.band >= delivered + slotCount) {
                workReady.wait(guard);
                continue;
            }
            ++nextTask;
            guard.unlock();
            DecodedTile tile;
            std::string tileError;
            bool ok = source.decode(task.column, task.row, tile, tileError);
            if (ok && tile.planes.size() != static_cast<size_t>(in.planeCount())) {
                ok = false;
                tileError = "a tile came in the wrong format";
            }
            if (ok) {
                placeTile(source, geometry, bands[task.band], task.column, task.row, tile,
                          slots[task.band % slotCount]);
            }
            tile = DecodedTile();
            guard.lock();
            if (!ok) {
                if (!failed) {
                    failed = true;
                    decodeFailed = true;
                    failure = tileError;
                }
                workReady.notify_all();
                bandReady.notify_all();
                return;
            }
            if (--remaining[task.band] == 0) {
                bandReady.notify_all();
            }
        }
    };

    const int threadCount =
        static_cast<int>(std::min<size_t>(static_cast<size_t>(std::max(1, options.threads)), tasks.size()));
    std::vector<std::thread> threads;
    for (int i = 0; i < threadCount; ++i) {
        threads.emplace_back(work);
    }

    bool ok = true;
    for (size_t b = 0; b < bands.size() && ok; ++b) {
        {
            std::unique_lock<std::mutex> guard(lock);
            bandReady.wait(guard, [&] { return failed || remaining[b] == 0; });
            if (failed) {
                ok = false;
                break;
            }
        }
        const Raster& slot = slots[b % slotCount];
        Band band;
        band.top = bands[b].top;
        band.height = bands[b].height;
        band.paddedColumns = kPadColumns;
        for (int p = 0; p < out.planeCount(); ++p) {
            PlaneView view = slot.plane(p);
            view.height = subsampled(band.height, out.stepY(p));
            band.planes.push_back(view);
        }
        std::string sinkError;
        if (!sink.consume(band, sinkError)) {
            std::lock_guard<std::mutex> guard(lock);
            if (!failed) {
                failed = true;
                failure = sinkError;
            }
            ok = false;
            workReady.notify_all();
            break;
        }
        std::lock_guard<std::mutex> guard(lock);
        delivered = b + 1;
        workReady.notify_all();
    }
    for (std::thread& t : threads) {
        t.join();
    }
    if (!ok || failed) {
        error = failure.empty() ? "decoding failed" : failure;
        if (sourceFailed != nullptr) {
            *sourceFailed = decodeFailed;
        }
        return false;
    }
    return sink.finish(error);
}

}  // namespace photocodec
