// raytracer.h -- the ray-traced scene: six textured spheres traced anew
// every frame, with bursts of horizontal motion blur.
//
// Who calls what (main thread only):
// - run_timeline's set-up calls init_ray_scene once (ray_scene.h).
// - The frame loop calls raytrace_scene once per pass while the "raytrace"
//   row is active (58000..138000 ms). It moves the world (animate_ray_scene),
//   traces rows 50..148 of `ray_picture` (trace_frame) and puts the band into
//   `frame_buffer`, sharp (all 200 rows) or smeared (rows 50..149 only).
//   The next row, "raytausta", then paints rows 0..49 and 150..199.
// The pixel rule lives in ray_cast.h; trace_frame computes the same pixels
// with the per-frame work done once. Everything is static; nothing is
// allocated.
#pragma once
#include <cstdint>

#include "raytracer/ray_cast.h"
#include "raytracer/ray_scene.h"

constexpr int RAY_BAND_FIRST_ROW = 50;  // first picture row the tracer writes
constexpr int RAY_BAND_ROWS = 99;       // rows 50..148 are traced
constexpr int RAY_SMEAR_MAX = 20;       // strength of the first smeared frame of a burst
constexpr int RAY_SMEAR_SHARP = 25;     // a burst starts when the countdown falls below -25

// The traced picture, 320 x 200 words 0x00RRGGBB like the frame buffer.
// Only rows 50..148 are ever written; the rest stay black.
extern uint32_t ray_picture[320 * 200];
// Frames until the next burst (negative) or strength of the current smear
// (positive). Starts at 0; never reset.
extern int32_t smear_countdown;

// Fills rows 50..148 of ray_picture from the current world.
void trace_frame(void);

// The camera's primary ray direction (not normalised) for column x (0..319)
// and band row i (0..98); the eye is at (RAY_EYE_X, RAY_EYE_Y, RAY_EYE_Z).
Vec3 camera_ray_direction(int x, int i);

// Rows 50..149 of `destination`: each pixel the average of the n (>= 1)
// source pixels of its row at columns x - n, x - n + 2, ..., x + n - 2 that
// lie inside the row, per channel, truncated; black if none does.
void smear_band(const uint32_t* source, uint32_t* destination, int n);

// Scene handler "raytrace"; argument ignored. Draws into frame_buffer.
void raytrace_scene(int argument);
