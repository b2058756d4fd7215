// ray_cast.cpp -- nearest hit, shading, texturing and reflection of one ray.
#include "raytracer/ray_cast.h"

#include <cmath>

#include "raytracer/ray_texel.h"

static inline float dot(Vec3 a, Vec3 b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

void nearest_hit(Ray* ray)
{
    const RayScene& w = ray_scene;
    const Vec3 d = ray->direction;
    const float a = dot(d, d);
    float best_t = RAY_NO_HIT_T;
    int32_t best = -1;
    for (int k = 0; k < w.sphere_count; k++) {
        if (k == ray->skip)
            continue;
        const Sphere& s = w.spheres[k];
        const Vec3 o = {ray->origin.x - s.position.x, ray->origin.y - s.position.y,
                        ray->origin.z - s.position.z};
        const float b = 2.0f * dot(o, d);
        const float m = dot(o, o) - s.radius * s.radius;
        const float discriminant = b * b - 4.0f * a * m;
        if (discriminant < 0.0f)
            continue;
        const float root = std::sqrt(discriminant);
        const float t1 = (root - b) / (2.0f * a);
        const float t2 = (-b - root) / (2.0f * a);
        // The nearer root when it lies ahead, else the farther one.
        const float t = (t1 > t2 && t2 >= 0.0f) ? t2 : t1;
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
    const float dist = std::sqrt(dot(l, l));
    l.x /= dist;
    l.y /= dist;
    l.z /= dist;

    // Only other spheres cast shadows; a blocker at the light's own
    // distance counts.
    Ray shadow = {sample->point, l, 0.0f, -1, sample->hit, 0};
    nearest_hit(&shadow);
    if (!(shadow.t <= dist)) {
        const float d = dot(l, sample->normal);
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
            const float e = dot(r, sample->view);
            if (e > 0.0f)
                sample->specular = std::pow(e, m.shininess) * m.specular;
        }
    }
    // In shadow diffuse keeps the 0 it entered with: ambient alone.
    sample->diffuse = m.ambient + sample->diffuse;
}

Vec3 reflect_vector(Vec3 normal, Vec3 d)
{
    const float k = 2.0f * dot(d, normal);
    return {d.x - k * normal.x, d.y - k * normal.y, d.z - k * normal.z};
}

static inline void clamp_colour(Rgb* c)
{
    if (c->red > 255.0f) c->red = 255.0f;
    if (c->green > 255.0f) c->green = 255.0f;
    if (c->blue > 255.0f) c->blue = 255.0f;
}

TraceSample trace_ray(const Ray* ray)
{
    TraceSample out = {};
    out.hit = -1;
    Ray r = *ray;
    nearest_hit(&r);
    if (r.hit < 0)
        return out;

    const RayScene& w = ray_scene;
    const Sphere& s = w.spheres[r.hit];
    const Material& m = w.materials[s.material];
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

    // A perfect mirror stays black here and takes its whole colour from
    // add_reflection.
    if (out.reflectivity < 1.0f) {
        if (m.textured == 1) {
            const float texel = float(sphere_texel(s, out.point, out.normal));
            if (out.reflectivity > 0.0f) {
                // Unlit: add_reflection lights the mix.
                out.colour = {texel * m.colour.red, texel * m.colour.green,
                              texel * m.colour.blue};
            } else {
                out.colour = {texel * m.colour.red * out.diffuse + out.specular,
                              texel * m.colour.green * out.diffuse + out.specular,
                              texel * m.colour.blue * out.diffuse + out.specular};
            }
        } else if (out.reflectivity > 0.0f) {
            out.colour = {m.colour.red * 255.0f, m.colour.green * 255.0f,
                          m.colour.blue * 255.0f};
        } else {
            out.colour = {out.diffuse * m.colour.red * 255.0f + out.specular,
                          out.diffuse * m.colour.green * 255.0f + out.specular,
                          out.diffuse * m.colour.blue * 255.0f + out.specular};
        }
    }
    out.reflectivity = m.reflectivity;
    clamp_colour(&out.colour);
    return out;
}

void add_reflection(TraceSample* sample)
{
    if (!sample->view_normalised)
        normalise_view(sample);
    const Vec3 r = reflect_vector(sample->normal, sample->view);
    const Ray ray = {sample->point, r, 0.0f, -1, sample->hit, 0};
    const TraceSample q = trace_ray(&ray);
    const float f = sample->reflectivity;
    Rgb& c = sample->colour;
    c.red = ((1.0f - f) * c.red + f * q.colour.red) * sample->diffuse + sample->specular;
    c.green = ((1.0f - f) * c.green + f * q.colour.green) * sample->diffuse + sample->specular;
    c.blue = ((1.0f - f) * c.blue + f * q.colour.blue) * sample->diffuse + sample->specular;
    clamp_colour(&c);
}

uint32_t primary_ray_pixel(Vec3 origin, Vec3 direction)
{
    const Ray ray = {origin, direction, 0.0f, -1, -1, 1};
    TraceSample s = trace_ray(&ray);
    if (s.hit >= 0 && ray_scene.materials[s.material].reflectivity > 0.0f)
        add_reflection(&s);
    return (ray_channel_byte(s.colour.red) << 16) | (ray_channel_byte(s.colour.green) << 8) |
           ray_channel_byte(s.colour.blue);
}
