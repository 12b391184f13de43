// Decodes a source's tiles on several threads and hands the output image,
// already turned upright, to a sink band by band: the sink encodes one band
// while the next ones are being decoded, and no more than a few bands are
// ever in memory.
#ifndef PHOTOCODEC_TILE_PIPELINE_H
#define PHOTOCODEC_TILE_PIPELINE_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "band_sink.h"
#include "geometry.h"
#include "tile_source.h"

namespace photocodec {

struct PipelineOptions {
    int threads = 2;
    // Band height for a source that is one image already in memory.
    uint32_t bandRows = 256;
    // Bands decoded ahead of the one being encoded, plus that one. One
    // ahead keeps the encoder fed (a band decodes in several tiles on
    // several threads), and the helper has another photo under way to fill
    // any gap; each band of a 12-megapixel RGB photo is 6 MB.
    int bandsInFlight = 2;
};

struct BandPlan {
    uint32_t top = 0;
    uint32_t height = 0;
    std::vector<std::pair<uint32_t, uint32_t>> tiles;  // column, row
};

// The output's bands, each with the tiles it needs. Empty, with `error`
// set, when the geometry reaches outside the canvas.
std::vector<BandPlan> planBands(const TileSource& source, const Geometry& geometry, uint32_t bandRows,
                                std::string& error);

// `geometry` is built on the source canvas and must keep its chroma blocks.
// `sourceFailed`, if given, tells a decoding failure from an encoding one.
bool runPipeline(TileSource& source, const Geometry& geometry, BandSink& sink, const PipelineOptions& options,
                 std::string& error, bool* sourceFailed = nullptr);

// Bytes the pipeline itself holds for its bands.
uint64_t pipelineBandBytes(const TileSource& source, const Geometry& geometry, const PipelineOptions& options);

}  // namespace photocodec

#endif  // PHOTOCODEC_TILE_PIPELINE_H
