// ray_cast.cpp -- nearest hit, shading, texturing and reflection of one ray.
#include "raytracer/ray_cast.h"

#include <cmath>

#include "raytracer/ray_math.h"

void nearest_hit(Ray* ray)
{
    const RayScene& w = ray_scene;
    const Vec3 d = ray->direction;
    const float a = ray_dot(d, d);
    float best_t = RAY_NO_HIT_T;
    int32_t best = -1;
    for (int k = 0; k < w.sphere_count; k++) {
        if (k == ray->skip)
            continue;
        const Sphere& s = w.spheres[k];
        const Vec3 o = {ray->origin.x - s.position.x, ray->origin.y - s.position.y,
                        ray->origin.z - s.position.z};
        float t;
        if (!sphere_distance(a, 2.0f * ray_dot(o, d), ray_dot(o, o) - s.radius * s.radius, &t))
            continue;
        if (t >= 0.0f && t < best_t) {
            best_t = t;
            best = k;
        }
    }
    ray->t = best_t;
    ray->hit = best;
}

void normalise_view(TraceSample* sample)
{
    Vec3& v = sample->view;
    const float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    v.x /= length;
    v.y /= length;
    v.z /= length;
    sample->view_normalised = 1;
}

void shade(TraceSample* sample)
{
    const RayScene& w = ray_scene;
    const Material& m = w.materials[sample->material];
    sample->specular = 0.0f;

    Vec3 l = {w.light.x - sample->point.x, w.light.y - sample->point.y,
              w.light.z - sample->point.z};
    const float dist = std::sqrt(ray_dot(l, l));
    l.x /= dist;
    l.y /= dist;
    l.z /= dist;

    // Only other spheres cast shadows; a blocker at the light's own
    // distance counts.
    Ray shadow = {sample->point, l, 0.0f, -1, sample->hit, 0};
    nearest_hit(&shadow);
    if (!(shadow.t <= dist)) {
        const float d = ray_dot(l, sample->normal);
        sample->diffuse = d * m.diffuse;
        if (sample->diffuse < 0.0f)
            sample->diffuse = 0.0f;
        // The highlight is evaluated even on a side turned from the light.
        if (m.specular > 0.0f && m.shininess > 0.0f) {
            const Vec3 r = {l.x - 2.0f * d * sample->normal.x,
                            l.y - 2.0f * d * sample->normal.y,
                            l.z - 2.0f * d * sample->normal.z};
            if (!sample->view_normalised)
                normalise_view(sample);
            const float e = ray_dot(r, sample->view);
            if (e > 0.0f)
                sample->specular = std::pow(e, m.shininess) * m.specular;
        }
    }
    // In shadow diffuse keeps the 0 it entered with: ambient alone.
    sample->diffuse = m.ambient + sample->diffuse;
}

Vec3 reflect_vector(Vec3 normal, Vec3 d)
{
    return ray_reflect(normal, d);
}

TraceSample trace_ray(const Ray* ray)
{
    TraceSample out = {};
    out.hit = -1;
    Ray r = *ray;
    nearest_hit(&r);
    if (r.hit < 0)
        return out;

    const Sphere& s = ray_scene.spheres[r.hit];
    const Material& m = ray_scene.materials[s.material];
    const float t = r.t;
    out.hit = r.hit;
    out.point = {r.origin.x + t * r.direction.x, r.origin.y + t * r.direction.y,
                 r.origin.z + t * r.direction.z};
    out.view = r.direction;
    out.normal = {(out.point.x - s.position.x) / s.radius,
                  (out.point.y - s.position.y) / s.radius,
                  (out.point.z - s.position.z) / s.radius};
    out.material = s.material;
    out.reflectivity = r.allow_reflection ? m.reflectivity : 0.0f;
    shade(&out);
    surface_colour(s, m, &out);
    return out;
}

void add_reflection(TraceSample* sample)
{
    if (!sample->view_normalised)
        normalise_view(sample);
    const Ray ray = {sample->point, reflect_vector(sample->normal, sample->view), 0.0f, -1,
                     sample->hit, 0};
    mix_reflection(sample, trace_ray(&ray));
}

uint32_t primary_ray_pixel(Vec3 origin, Vec3 direction)
{
    const Ray ray = {origin, direction, 0.0f, -1, -1, 1};
    TraceSample s = trace_ray(&ray);
    if (s.hit >= 0 && ray_scene.materials[s.material].reflectivity > 0.0f)
        add_reflection(&s);
    return pack_colour(s.colour);
}
