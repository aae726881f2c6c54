// Anaglyph composition: both views are linearised with the display gamma, the view
// behind filter A is reduced to one luminance value, and the colour matrix maps
// (right colour, left luminance) to the colour that the glasses separate again.
uniform sampler2D texL;
uniform sampler2D texR;
uniform vec4 filtL;   // (Y(LEFT), gamma)
uniform mat4 fc;
uniform vec4 mapCol;  // (Y(LEFT), gamma)

void main()
{
    vec2 t = gl_TexCoord[0].st;
    vec3 tl = texture2D(texL, t).rgb;
    vec3 tr = texture2D(texR, t).rgb;

    vec3 cl = pow(tl, vec3(filtL.a));
    vec3 cr = pow(tr, vec3(filtL.a));
    float yl = dot(cl, filtL.rgb);

    vec4 c = vec4(cr, yl);
    vec4 l = vec4(c.rgb * mapCol.z + mapCol.w, c.a * mapCol.x + mapCol.y);
    vec3 RsGsBs = (fc * l).rgb;

    // The halo-removing matrices can give negative components, and pow() of a
    // negative base is undefined in GLSL: such a component would show as garbage
    // on some drivers. Clamp to zero first; the glasses cannot show "less than black".
    RsGsBs = max(RsGsBs, vec3(0.0));
    gl_FragColor = vec4(pow(RsGsBs, vec3(1.0 / filtL.a)), 1.0);
}
