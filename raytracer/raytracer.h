// raytracer.h -- the ray-traced scene: six textured spheres traced anew
// every frame, with bursts of horizontal motion blur. Main thread only.
#pragma once

// One-time set-up of the sphere world; called by run_timeline's set-up.
void init_ray_scene(void);
// Scene handler "raytrace" (58000..138000 ms); argument ignored.
void raytrace_scene(int argument);
